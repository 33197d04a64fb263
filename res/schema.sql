-- The tables of a ZQreader database. Date-times are local calendar time,
-- stored as text "YYYY-MM-DD HH:MM:SS".

CREATE TABLE "EVENTS" (
    "INDEX"   INTEGER PRIMARY KEY AUTOINCREMENT,
    "TIMER"   INTEGER,
    "DATE"    DATETIME,
    "USER_NO" INTEGER,
    "BUTTON"  VARCHAR(255)
);

CREATE TABLE "USERS" (
    "INDEX"      INTEGER PRIMARY KEY AUTOINCREMENT,
    "NAME"       VARCHAR(255),
    "USER_NO"    INTEGER,
    "DATE_START" DATETIME,
    "DATE_STOP"  DATETIME
);

CREATE INDEX "USERS_USER_NO" ON "USERS" ("USER_NO");

-- Date ranges (zqreader-cli export --from/--to) are read through this index.
CREATE INDEX "EVENTS_DATE" ON "EVENTS" ("DATE");

-- The events of some user numbers (a filter of the list) are read through
-- this index, in the order of the list.
CREATE INDEX "EVENTS_USER_NO" ON "EVENTS" ("USER_NO", "INDEX");
