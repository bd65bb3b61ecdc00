SELECT id, name, reg_date FROM member WHERE name = '홍길동' AND status = 1;
INSERT INTO orders (id, member_id, memo) VALUES (1001, 7, '서울특별시 강남구 배송 요청');
UPDATE product SET title = '한글 상품명 (특가)', price = 12900 WHERE id = 42;
DELETE FROM cart WHERE member_id = 7 AND memo LIKE '%취소%';
SELECT *
FROM payment
WHERE method = '카드' ORDER BY id DESC;
UPDATE member SET nick = '똠방각하', memo = '뷁 햏 쒧: 확장 완성형' WHERE id = 9;

INSERT INTO log (msg) VALUES ('가나다라마바사 ABC abc 0123456789');
