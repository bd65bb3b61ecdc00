SELECT 1;
SELECT id, login, `group` FROM account WHERE login = 'admin' AND pw_hash <> '';
INSERT INTO audit (path, note) VALUES ('C:\\logs\\today.log', 'quotes '' and "double"');
UPDATE stats SET hits = hits + 1, ratio = 0.75 WHERE day BETWEEN '2024-01-01' AND '2024-12-31';
-- ~!@#$%^&*()_+=-[]{}|;:,.<>/? are all plain
	SELECT 'tab before';
