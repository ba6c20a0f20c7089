-- KESTO record store, PostgreSQL.
-- Names are unquoted, so the server keeps them in lower case and the
-- program's unquoted upper-case queries find them. Every column is nullable:
-- the writers set only the columns they know, the rest keep NULL.
-- Currency amounts are NUMERIC(19,4): exact, four decimal places.
-- Every processed file is stored as a new version; one index is unique:
-- AMAMDK, the key of a version (RECLOC, SER_NO), which no two versions share.

CREATE TABLE AMAMD (
    RECLOC   VARCHAR(20),
    SER_NO   VARCHAR(10),
    PROC_TP  VARCHAR(10),
    FILE_NM  VARCHAR(260),
    DATE_1   VARCHAR(10),
    TIME_1   VARCHAR(8),
    AIRVER   VARCHAR(10),
    AIROPT   VARCHAR(10),
    CPNID    VARCHAR(20),
    CPNID2   VARCHAR(20),
    KIND     VARCHAR(2000)
);

CREATE TABLE AMAMDD (
    RECLOC   VARCHAR(20),
    SER_NO   VARCHAR(10),
    I_INDEX  VARCHAR(10),
    NSAIR    VARCHAR(10),
    NSRECLOC VARCHAR(20)
);

CREATE TABLE AMHEAD (
    RECLOC   VARCHAR(20),
    SER_NO   VARCHAR(10),
    ENTRY    VARCHAR(10),
    ALCDE    VARCHAR(10),
    NUMCDE   VARCHAR(10),
    PNRDTE   VARCHAR(10)
);

CREATE TABLE AMTKT (
    RECLOC   VARCHAR(20),
    SER_NO   VARCHAR(10),
    SEG_TP   VARCHAR(10),
    MSGTAG   VARCHAR(10),
    TTONBR   VARCHAR(20),
    SEGNBR   VARCHAR(20),
    ITN_SEQ  VARCHAR(20),
    ORIGAIR  VARCHAR(10),
    DESTAIR  VARCHAR(10),
    AIRCDE   VARCHAR(10),
    FLTNBR   VARCHAR(10),
    CLSSVC   VARCHAR(10),
    CLSBKG   VARCHAR(10),
    STATUS1  VARCHAR(10),
    DEPDTE   VARCHAR(10),
    DEPTIM   VARCHAR(10),
    ARRTIM   VARCHAR(10),
    STOP1    VARCHAR(10),
    ARRDTE   VARCHAR(10),
    SPTRNS   VARCHAR(10)
);

CREATE TABLE AMPAX (
    RECLOC    VARCHAR(20),
    SER_NO    VARCHAR(10),
    SEG_TP    VARCHAR(10),
    MSGTAG    VARCHAR(10),
    H_INDEX   VARCHAR(10),
    H_INDEX1  VARCHAR(10),
    PSGRNME   VARCHAR(100),
    TKTNBR    VARCHAR(20),
    TKT_NOA   VARCHAR(10),
    TKT_NO    VARCHAR(20),
    TKT_DIGIT VARCHAR(10),
    TKT_AMT   NUMERIC(19,4),
    TKT_AMS   NUMERIC(19,4),
    TKT_NET   NUMERIC(19,4),
    TKT_TAX   NUMERIC(19,4)
);

CREATE TABLE AMPNR (
    RECLOC    VARCHAR(20),
    SER_NO    VARCHAR(10),
    SEG_TP    VARCHAR(10),
    MSGTAG    VARCHAR(10),
    H_INDEX   VARCHAR(10),
    H_INDEX1  VARCHAR(10),
    TKT_NOA   VARCHAR(10),
    TKT_NO    VARCHAR(20),
    TKT_AMS   NUMERIC(19,4),
    TKT_NET   NUMERIC(19,4),
    TKT_TAX   NUMERIC(19,4)
);

CREATE TABLE AMERROR (
    DATE_1   VARCHAR(10),
    TIME_1   VARCHAR(8),
    MESSAGE  VARCHAR(255)
);

-- The ledger of recorded files: one row per booking version stored from a
-- file (or, with database writes off, per version posted), written in the
-- version's own transaction. It tells the gateway that a file it meets again
-- was already recorded and which steps after the rows are still to do.
-- KIND is the kind text the version was stored and posted with.
-- POST_ST: "" no post, "W" waiting, "A" acknowledged, "R" refused by the
-- endpoint, "F" failed and given up. GW_ID is the gateway that recorded it
-- (see AMGATEWAY); each gateway looks up only its own rows, and those
-- written before gateways had identities (GW_ID empty) as before.
CREATE TABLE AMFILE (
    FILE_NM    VARCHAR(260),
    FILE_SIZE  VARCHAR(20),
    FILE_MTIME VARCHAR(30),
    FILE_DEV   VARCHAR(20),
    FILE_INO   VARCHAR(20),
    FILE_SHA   VARCHAR(64),
    PASS_NO    VARCHAR(2),
    RECLOC     VARCHAR(20),
    SER_NO     VARCHAR(10),
    POST_ST    VARCHAR(2),
    KIND       VARCHAR(2000),
    DATE_1     VARCHAR(10),
    TIME_1     VARCHAR(8),
    GW_ID      VARCHAR(64)
);

CREATE UNIQUE INDEX AMAMDK ON AMAMD (RECLOC,SER_NO);
CREATE INDEX AMAMD1 ON AMAMD (RECLOC,SER_NO);
CREATE INDEX AMAMD2 ON AMAMD (FILE_NM);
CREATE INDEX AMAMDD1 ON AMAMDD (RECLOC,SER_NO,I_INDEX);
CREATE INDEX AMHEAD1 ON AMHEAD (RECLOC,SER_NO);
CREATE INDEX AMPAX1 ON AMPAX (RECLOC,SER_NO,SEG_TP,H_INDEX,H_INDEX1);
CREATE INDEX AMPNR1 ON AMPNR (RECLOC,SER_NO,SEG_TP,H_INDEX,H_INDEX1);
CREATE INDEX AMTKT1 ON AMTKT (RECLOC,SER_NO,MSGTAG,SEG_TP,TTONBR,SEGNBR);
CREATE INDEX AMFILE1 ON AMFILE (FILE_NM,FILE_SHA);

-- What keeps a gateway with years of history as quick as on its first day:
-- the versions of a record locator that has used more than 90 % of its
-- serials ("XBM" is the first serial past that mark; kesto status warns of
-- them), and the rows of the ledger and of the error log by day (the health
-- check).
CREATE INDEX AMAMD3 ON AMAMD (SER_NO) WHERE SER_NO >= 'XBM';
CREATE INDEX AMFILE2 ON AMFILE (DATE_1,TIME_1);
CREATE INDEX AMERROR1 ON AMERROR (DATE_1,TIME_1);

-- Entries of the download folder that are not regular files (links, FIFOs,
-- sockets, devices), each reported once, across restarts too: its folder,
-- its shown name, what it is, the device and inode of the entry itself, and
-- the gateway that reported it.
CREATE TABLE AMFOREIGN (
    DIR_NM     VARCHAR(1024),
    FILE_NM    VARCHAR(260),
    ENTRY_KIND VARCHAR(40),
    FILE_DEV   VARCHAR(20),
    FILE_INO   VARCHAR(20),
    DATE_1     VARCHAR(10),
    TIME_1     VARCHAR(8),
    GW_ID      VARCHAR(64)
);

CREATE INDEX AMFOREIGN1 ON AMFOREIGN (FILE_NM,FILE_INO);

-- Posts owed to the agency's endpoint: the booking XML text of a stored
-- version, written in the version's own transaction and deleted in the one
-- that notes in AMFILE how its post went, so that a crash in between posts it
-- again and never loses it. The gateway that stored it (GW_ID; for a row
-- written before gateways had identities, the one watching DIR_NM) delivers
-- them in the order they were stored (POST_NO). The table holds only what is owed, so
-- it stays small and needs no index beyond its key.
CREATE TABLE AMPOST (
    POST_NO    BIGSERIAL PRIMARY KEY,
    DIR_NM     VARCHAR(1024),
    FILE_NM    VARCHAR(260),
    FILE_SIZE  VARCHAR(20),
    FILE_MTIME VARCHAR(30),
    FILE_SHA   VARCHAR(64),
    PASS_NO    VARCHAR(2),
    RECLOC     VARCHAR(20),
    SER_NO     VARCHAR(10),
    XML_TX     TEXT,
    DATE_1     VARCHAR(10),
    TIME_1     VARCHAR(8),
    GW_ID      VARCHAR(64)
);

-- The gateways that write to this database, one row for each identity (the
-- GW_ID that each one's ledger rows, owed posts and foreign entries carry):
-- the host and process that runs it now, a token of that run, its download
-- folder, and when it last said it was alive (BEAT_MS, milliseconds since
-- the epoch; 0 once it stopped). A gateway started with the identity of
-- another that is alive is refused.
CREATE TABLE AMGATEWAY (
    GW_ID      VARCHAR(64) NOT NULL,
    HOST_NM    VARCHAR(255),
    PROC_ID    VARCHAR(20),
    RUN_ID     VARCHAR(32),
    DIR_NM     VARCHAR(1024),
    BEAT_MS    VARCHAR(20),
    DATE_1     VARCHAR(10),
    TIME_1     VARCHAR(8)
);

CREATE UNIQUE INDEX AMGATEWAYK ON AMGATEWAY (GW_ID);

-- The document ledger, beside the booking tables: what each MIR file says
-- about the ticketing documents it touches, written once per file (keyed by
-- the SHA-256 of its bytes). KDOCFILE holds one row per file, KDOCEVT one row
-- per document event (issue, void, refund, refund-cancel, exchange; AMT_DEC:
-- the decimals the MIR gave its amount), KDOCTAX the taxes of an event by
-- code and KDOCFOP the forms of payment, card numbers cut to their last four
-- digits. A document's state is derived from its events. RECLOC and SER_NO
-- name the version stored from the file, empty when it made none.
-- READER_VER is the version of the reader that read the file (empty: the
-- first); a newer reader replaces an older one's rows of a file, all of them
-- in one transaction, when it reads the file again.
CREATE TABLE KDOCFILE (
    FILE_SHA   VARCHAR(64) NOT NULL,
    FILE_NM    VARCHAR(260),
    FILE_SIZE  VARCHAR(20),
    FILE_MTIME VARCHAR(30),
    SOURCE     VARCHAR(1),
    TRANS      VARCHAR(20),
    IND_CD     VARCHAR(1),
    EXCH_IND   VARCHAR(1),
    ISSUE_DT   VARCHAR(10),
    AIRLINE    VARCHAR(2),
    AIRLINE_NO VARCHAR(3),
    BOOK_PCC   VARCHAR(4),
    TKT_PCC    VARCHAR(4),
    IATA_NO    VARCHAR(9),
    BOOK_AGT   VARCHAR(4),
    TKT_AGT    VARCHAR(4),
    CURRENCY   VARCHAR(3),
    COMM       VARCHAR(8),
    TOUR_CD    VARCHAR(15),
    RECLOC     VARCHAR(20),
    SER_NO     VARCHAR(10),
    PROBLEMS   VARCHAR(255),
    DATE_1     VARCHAR(10),
    TIME_1     VARCHAR(8),
    READER_VER INTEGER,
    ISSUE_TM   VARCHAR(5),
    COMM_AMT   NUMERIC(19,4),
    COMM_RT    VARCHAR(6)
);

CREATE TABLE KDOCEVT (
    FILE_SHA   VARCHAR(64) NOT NULL,
    EVT_NO     INTEGER NOT NULL,
    DOC_NO     VARCHAR(13) NOT NULL,
    DOC_KIND   VARCHAR(6),
    TRANS      VARCHAR(13),
    CONJ_LAST  VARCHAR(13),
    PAX_NM     VARCHAR(55),
    AIRLINE    VARCHAR(2),
    ISSUE_DT   VARCHAR(10),
    CURRENCY   VARCHAR(3),
    AMOUNT     NUMERIC(19,4),
    AMT_DEC    INTEGER,
    ORIG_DOC   VARCHAR(13),
    RELATED_DOC VARCHAR(13),
    DOC_DT      VARCHAR(10),
    PENALTY     NUMERIC(19,4),
    FARE_USED   NUMERIC(19,4),
    COLLECTED   NUMERIC(19,4)
);

CREATE TABLE KDOCTAX (
    FILE_SHA   VARCHAR(64) NOT NULL,
    EVT_NO     INTEGER NOT NULL,
    TAX_CD     VARCHAR(2),
    AMOUNT     NUMERIC(19,4),
    ISSUE_DT   VARCHAR(10)
);

CREATE TABLE KDOCFOP (
    FILE_SHA   VARCHAR(64) NOT NULL,
    FOP_NO     INTEGER NOT NULL,
    FOP_TP     VARCHAR(2),
    AMOUNT     NUMERIC(19,4),
    CARD_CD    VARCHAR(2),
    CARD_LAST4 VARCHAR(4),
    ISSUE_DT   VARCHAR(10)
);

CREATE UNIQUE INDEX KDOCFILEK ON KDOCFILE (FILE_SHA);
CREATE INDEX KDOCEVT1 ON KDOCEVT (DOC_NO);
-- The events of a day (kesto documents --date, the daily report), and the
-- rows of a file's reading (a newer reader replaces them), found by the
-- file's issue date, which each row carries as KDOCFILE has it, then its
-- digest. Led by the date, an index takes a day's new rows side by side;
-- led by the digest, each row would land on a page of its own.
CREATE INDEX KDOCEVT2 ON KDOCEVT (ISSUE_DT,FILE_SHA);
CREATE INDEX KDOCTAX1 ON KDOCTAX (ISSUE_DT,FILE_SHA);
CREATE INDEX KDOCFOP1 ON KDOCFOP (ISSUE_DT,FILE_SHA);
