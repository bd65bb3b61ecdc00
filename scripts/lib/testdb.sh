# A throw-away MariaDB server for the tests (not yet needed).
testdb_start() { :; }
