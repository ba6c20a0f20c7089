-- KESTO record store, SQL Server.
-- Texts are NVARCHAR so that any character survives whatever the collation.
-- Currency amounts are DECIMAL(19,4): exact, four decimal places.
-- Every processed file is stored as a new version; one index is unique:
-- AMAMDK, the key of a version (RECLOC, SER_NO), which no two versions share.

CREATE TABLE AMAMD (
    RECLOC   NVARCHAR(20),
    SER_NO   NVARCHAR(10),
    PROC_TP  NVARCHAR(10),
    FILE_NM  NVARCHAR(260),
    DATE_1   NVARCHAR(10),
    TIME_1   NVARCHAR(8),
    AIRVER   NVARCHAR(10),
    AIROPT   NVARCHAR(10),
    CPNID    NVARCHAR(20),
    CPNID2   NVARCHAR(20),
    KIND     NVARCHAR(2000)
);

CREATE TABLE AMAMDD (
    RECLOC   NVARCHAR(20),
    SER_NO   NVARCHAR(10),
    I_INDEX  NVARCHAR(10),
    NSAIR    NVARCHAR(10),
    NSRECLOC NVARCHAR(20)
);

CREATE TABLE AMHEAD (
    RECLOC   NVARCHAR(20),
    SER_NO   NVARCHAR(10),
    ENTRY    NVARCHAR(10),
    ALCDE    NVARCHAR(10),
    NUMCDE   NVARCHAR(10),
    PNRDTE   NVARCHAR(10)
);

CREATE TABLE AMTKT (
    RECLOC   NVARCHAR(20),
    SER_NO   NVARCHAR(10),
    SEG_TP   NVARCHAR(10),
    MSGTAG   NVARCHAR(10),
    TTONBR   NVARCHAR(20),
    SEGNBR   NVARCHAR(20),
    ITN_SEQ  NVARCHAR(20),
    ORIGAIR  NVARCHAR(10),
    DESTAIR  NVARCHAR(10),
    AIRCDE   NVARCHAR(10),
    FLTNBR   NVARCHAR(10),
    CLSSVC   NVARCHAR(10),
    CLSBKG   NVARCHAR(10),
    STATUS1  NVARCHAR(10),
    DEPDTE   NVARCHAR(10),
    DEPTIM   NVARCHAR(10),
    ARRTIM   NVARCHAR(10),
    STOP1    NVARCHAR(10),
    ARRDTE   NVARCHAR(10),
    SPTRNS   NVARCHAR(10)
);

CREATE TABLE AMPAX (
    RECLOC    NVARCHAR(20),
    SER_NO    NVARCHAR(10),
    SEG_TP    NVARCHAR(10),
    MSGTAG    NVARCHAR(10),
    H_INDEX   NVARCHAR(10),
    H_INDEX1  NVARCHAR(10),
    PSGRNME   NVARCHAR(100),
    TKTNBR    NVARCHAR(20),
    TKT_NOA   NVARCHAR(10),
    TKT_NO    NVARCHAR(20),
    TKT_DIGIT NVARCHAR(10),
    TKT_AMT   DECIMAL(19,4),
    TKT_AMS   DECIMAL(19,4),
    TKT_NET   DECIMAL(19,4),
    TKT_TAX   DECIMAL(19,4)
);

CREATE TABLE AMPNR (
    RECLOC    NVARCHAR(20),
    SER_NO    NVARCHAR(10),
    SEG_TP    NVARCHAR(10),
    MSGTAG    NVARCHAR(10),
    H_INDEX   NVARCHAR(10),
    H_INDEX1  NVARCHAR(10),
    TKT_NOA   NVARCHAR(10),
    TKT_NO    NVARCHAR(20),
    TKT_AMS   DECIMAL(19,4),
    TKT_NET   DECIMAL(19,4),
    TKT_TAX   DECIMAL(19,4)
);

CREATE TABLE AMERROR (
    DATE_1   NVARCHAR(10),
    TIME_1   NVARCHAR(8),
    MESSAGE  NVARCHAR(255)
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
    FILE_NM    NVARCHAR(260),
    FILE_SIZE  NVARCHAR(20),
    FILE_MTIME NVARCHAR(30),
    FILE_DEV   NVARCHAR(20),
    FILE_INO   NVARCHAR(20),
    FILE_SHA   NVARCHAR(64),
    PASS_NO    NVARCHAR(2),
    RECLOC     NVARCHAR(20),
    SER_NO     NVARCHAR(10),
    POST_ST    NVARCHAR(2),
    KIND       NVARCHAR(2000),
    DATE_1     NVARCHAR(10),
    TIME_1     NVARCHAR(8),
    GW_ID      NVARCHAR(64)
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
    DIR_NM     NVARCHAR(1024),
    FILE_NM    NVARCHAR(260),
    ENTRY_KIND NVARCHAR(40),
    FILE_DEV   NVARCHAR(20),
    FILE_INO   NVARCHAR(20),
    DATE_1     NVARCHAR(10),
    TIME_1     NVARCHAR(8),
    GW_ID      NVARCHAR(64)
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
    POST_NO    BIGINT IDENTITY(1,1) PRIMARY KEY,
    DIR_NM     NVARCHAR(1024),
    FILE_NM    NVARCHAR(260),
    FILE_SIZE  NVARCHAR(20),
    FILE_MTIME NVARCHAR(30),
    FILE_SHA   NVARCHAR(64),
    PASS_NO    NVARCHAR(2),
    RECLOC     NVARCHAR(20),
    SER_NO     NVARCHAR(10),
    XML_TX     NVARCHAR(MAX),
    DATE_1     NVARCHAR(10),
    TIME_1     NVARCHAR(8),
    GW_ID      NVARCHAR(64)
);

-- The gateways that write to this database, one row for each identity (the
-- GW_ID that each one's ledger rows, owed posts and foreign entries carry):
-- the host and process that runs it now, a token of that run, its download
-- folder, and when it last said it was alive (BEAT_MS, milliseconds since
-- the epoch; 0 once it stopped). A gateway started with the identity of
-- another that is alive is refused.
CREATE TABLE AMGATEWAY (
    GW_ID      NVARCHAR(64) NOT NULL,
    HOST_NM    NVARCHAR(255),
    PROC_ID    NVARCHAR(20),
    RUN_ID     NVARCHAR(32),
    DIR_NM     NVARCHAR(1024),
    BEAT_MS    NVARCHAR(20),
    DATE_1     NVARCHAR(10),
    TIME_1     NVARCHAR(8)
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
    FILE_SHA   NVARCHAR(64) NOT NULL,
    FILE_NM    NVARCHAR(260),
    FILE_SIZE  NVARCHAR(20),
    FILE_MTIME NVARCHAR(30),
    SOURCE     NVARCHAR(1),
    TRANS      NVARCHAR(20),
    IND_CD     NVARCHAR(1),
    EXCH_IND   NVARCHAR(1),
    ISSUE_DT   NVARCHAR(10),
    AIRLINE    NVARCHAR(2),
    AIRLINE_NO NVARCHAR(3),
    BOOK_PCC   NVARCHAR(4),
    TKT_PCC    NVARCHAR(4),
    IATA_NO    NVARCHAR(9),
    BOOK_AGT   NVARCHAR(4),
    TKT_AGT    NVARCHAR(4),
    CURRENCY   NVARCHAR(3),
    COMM       NVARCHAR(8),
    TOUR_CD    NVARCHAR(15),
    RECLOC     NVARCHAR(20),
    SER_NO     NVARCHAR(10),
    PROBLEMS   NVARCHAR(255),
    DATE_1     NVARCHAR(10),
    TIME_1     NVARCHAR(8),
    READER_VER INT,
    ISSUE_TM   NVARCHAR(5),
    COMM_AMT   DECIMAL(19,4),
    COMM_RT    NVARCHAR(6)
);

CREATE TABLE KDOCEVT (
    FILE_SHA   NVARCHAR(64) NOT NULL,
    EVT_NO     INTEGER NOT NULL,
    DOC_NO     NVARCHAR(13) NOT NULL,
    DOC_KIND   NVARCHAR(6),
    TRANS      NVARCHAR(13),
    CONJ_LAST  NVARCHAR(13),
    PAX_NM     NVARCHAR(55),
    AIRLINE    NVARCHAR(2),
    ISSUE_DT   NVARCHAR(10),
    CURRENCY   NVARCHAR(3),
    AMOUNT     DECIMAL(19,4),
    AMT_DEC    INTEGER,
    ORIG_DOC   NVARCHAR(13),
    RELATED_DOC NVARCHAR(13),
    DOC_DT      NVARCHAR(10),
    PENALTY     DECIMAL(19,4),
    FARE_USED   DECIMAL(19,4),
    COLLECTED   DECIMAL(19,4)
);

CREATE TABLE KDOCTAX (
    FILE_SHA   NVARCHAR(64) NOT NULL,
    EVT_NO     INTEGER NOT NULL,
    TAX_CD     NVARCHAR(2),
    AMOUNT     DECIMAL(19,4),
    ISSUE_DT   NVARCHAR(10)
);

CREATE TABLE KDOCFOP (
    FILE_SHA   NVARCHAR(64) NOT NULL,
    FOP_NO     INTEGER NOT NULL,
    FOP_TP     NVARCHAR(2),
    AMOUNT     DECIMAL(19,4),
    CARD_CD    NVARCHAR(2),
    CARD_LAST4 NVARCHAR(4),
    ISSUE_DT   NVARCHAR(10)
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
