/*
 * Public C interface of the queue manager libraries: libztm (application and
 * service-provider verbs), libztmzse (XA functions), libztmcs (common runtime).
 *
 * Records are laid out exactly as the bridge builds them: 32-bit integers in
 * machine byte order, fixed-width character and byte fields, no padding. Only
 * the address fields widen on a 64-bit build; every size and offset is checked
 * below for both widths.
 */
#ifndef ZTM_H
#define ZTM_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#define ZTM_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define ZTM_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

#if defined(__GNUC__)
#define ZTM_API __attribute__((visibility("default")))
#else
#define ZTM_API
#endif

typedef int32_t ZTLONG;
typedef uint8_t ZTBYTE;

/* Width of an address field: 4 on the 32-bit target, 8 on 64-bit. */
#define ZT_ADDR ((size_t)sizeof(void*))

/* ------------------------------------------------------------------ */
/* Completion codes and reasons                                       */
/* ------------------------------------------------------------------ */
#define ZTCC_OK      0
#define ZTCC_WARNING 1
#define ZTCC_FAILED  2

#define ZTRC_NONE                 0
/* The bridge's own failure; also what lpiSPIZTConnect answers when the
 * service-provider connect is not available, so the caller falls back. */
#define ZTRC_UNEXPECTED_ERROR     2195
/* The stand-in queue manager's own reasons. */
#define ZTRC_NOT_SUPPORTED_YET    3001
#define ZTRC_HCONN_ERROR          3002
#define ZTRC_HOBJ_ERROR           3003
#define ZTRC_QMGR_NAME_ERROR      3004
#define ZTRC_RECORD_ERROR         3005
#define ZTRC_OPTIONS_ERROR        3006
#define ZTRC_NO_UNIT_OF_WORK      3007
#define ZTRC_ALREADY_CONNECTED    3008
#define ZTRC_NOT_OPEN_FOR_INPUT   3009
#define ZTRC_NOT_OPEN_FOR_OUTPUT  3010
#define ZTRC_NOT_OPEN_FOR_INQUIRE 3011
#define ZTRC_NOT_OPEN_FOR_SET     3012
#define ZTRC_UNKNOWN_OBJECT_NAME  3013
#define ZTRC_OBJECT_TYPE_ERROR    3014
#define ZTRC_SELECTOR_ERROR       3015
#define ZTRC_NO_MSG_AVAILABLE     3016
#define ZTRC_TRUNCATED_MSG_ACCEPTED 3017
#define ZTRC_TRUNCATED_MSG_FAILED 3018
#define ZTRC_PUT_INHIBITED        3019
#define ZTRC_GET_INHIBITED        3020
#define ZTRC_Q_FULL               3021
#define ZTRC_DATA_LENGTH_ERROR    3022
#define ZTRC_BUFFER_ERROR         3023
#define ZTRC_MULTIPLE_REASONS     3024
#define ZTRC_UNKNOWN_MESSAGE_KEY  3025
#define ZTRC_ACTION_ERROR         3026
#define ZTRC_CHAR_ATTR_LENGTH_ERROR 3027
#define ZTRC_INT_COUNT_ERROR      3028
#define ZTRC_SELECTOR_COUNT_ERROR 3029
#define ZTRC_UOW_IN_PROGRESS      3030 /* begin while a unit of work is open */
#define ZTRC_UOW_UNDER_XA         3031 /* begin/commit/backout on a thread in an XA branch */
#define ZTRC_UNKNOWN_OBJECT_QMGR  3032 /* object queue manager name is not ours */
#define ZTRC_OBJECT_NAME_ERROR    3033 /* empty name, or a blank/illegal character */
#define ZTRC_OBJECT_IN_USE        3034 /* exclusive input clashes with another opener */
#define ZTRC_RECS_PRESENT_ERROR   3035 /* negative or inconsistent record count */
#define ZTRC_ATTR_NOT_SETTABLE    3036
#define ZTRC_ATTR_VALUE_ERROR     3037
#define ZTRC_UOW_NOT_ACTIVE       3038 /* the unit of work (or the thread's XA branch) is prepared, ended or being committed */
#define ZTRC_WAIT_INTERVAL_ERROR  3039
#define ZTRC_BUFFER_LENGTH_ERROR  3040
#define ZTRC_DUPLICATE_MESSAGE_KEY 3041
#define ZTRC_QMGR_NOT_AVAILABLE   3042 /* its state directory was refused at start, or a forked child */
#define ZTRC_STORE_ERROR          3043 /* not done: the state directory could not keep it */

/* Handle values */
#define ZTHC_UNUSABLE_HCONN ((ZTLONG)-1)
#define ZTHO_UNUSABLE_HOBJ  ((ZTLONG)-1)

/* Fixed field widths */
#define ZT_QMGR_NAME_LENGTH 48
#define ZT_Q_NAME_LENGTH    48
#define ZT_USER_ID_LENGTH   12
#define ZT_MSG_ID_LENGTH    24
#define ZT_CORREL_ID_LENGTH 24
#define ZT_GROUP_ID_LENGTH  24
#define ZT_ACCOUNTING_TOKEN_LENGTH 32
#define ZT_MESSAGE_KEY_LENGTH 24

/* ------------------------------------------------------------------ */
/* Connect options ZTCNO                                              */
/* ------------------------------------------------------------------ */
#define ZTCNO_EYE_CATCHER "CNO "
typedef struct tagZTCNO {
    char   eyeCatcher[4]; /* "CNO " */
    ZTLONG version;       /* 1 */
    ZTLONG options;
} ZTCNO;
ZTM_ASSERT(sizeof(ZTCNO) == 12, "ZTCNO size");
ZTM_ASSERT(offsetof(ZTCNO, version) == 4, "ZTCNO.version");
ZTM_ASSERT(offsetof(ZTCNO, options) == 8, "ZTCNO.options");

/* ------------------------------------------------------------------ */
/* Begin options ZTBO                                                 */
/* ------------------------------------------------------------------ */
#define ZTBO_EYE_CATCHER "BO  "
typedef struct tagZTBO {
    char   eyeCatcher[4]; /* "BO  " */
    ZTLONG version;       /* 1 */
    ZTLONG options;       /* 0 */
} ZTBO;
ZTM_ASSERT(sizeof(ZTBO) == 12, "ZTBO size");
ZTM_ASSERT(offsetof(ZTBO, options) == 8, "ZTBO.options");

/* ------------------------------------------------------------------ */
/* Service-provider connect record ZTLCNO                             */
/* ------------------------------------------------------------------ */
#define ZTLCNO_EYE_CATCHER "LCNO"
typedef struct tagZTLCNO {
    char   eyeCatcher[4];  /* 0: "LCNO" */
    ZTLONG version;        /* 4: 2 */
    ZTLONG word8;          /* 8: 0x80 */
    ZTLONG word12;         /* 12: 0 */
    ZTLONG word16;         /* 16: -1 */
    ZTBYTE reserved1[120]; /* 20 */
    ZTLONG word140;        /* 140: -1 */
    ZTBYTE reserved2[16];  /* 144 */
} ZTLCNO;
ZTM_ASSERT(sizeof(ZTLCNO) == 160, "ZTLCNO size");
ZTM_ASSERT(offsetof(ZTLCNO, word16) == 16, "ZTLCNO.word16");
ZTM_ASSERT(offsetof(ZTLCNO, reserved1) == 20, "ZTLCNO.reserved1");
ZTM_ASSERT(offsetof(ZTLCNO, word140) == 140, "ZTLCNO.word140");
ZTM_ASSERT(offsetof(ZTLCNO, reserved2) == 144, "ZTLCNO.reserved2");

/* ------------------------------------------------------------------ */
/* Message descriptor ZTMD: 364 bytes whatever its version             */
/* ------------------------------------------------------------------ */
#define ZTMD_EYE_CATCHER "MD  "
typedef struct tagZTMD {
    char   eyeCatcher[4];              /* 0 */
    ZTLONG version;                    /* 4 */
    ZTLONG report;                     /* 8 */
    ZTLONG messageType;                /* 12 */
    ZTLONG expiry;                     /* 16 */
    ZTLONG feedback;                   /* 20 */
    ZTLONG encoding;                   /* 24 */
    ZTLONG characterSet;               /* 28 */
    char   format[8];                  /* 32 */
    ZTLONG priority;                   /* 40 */
    ZTLONG persistence;                /* 44 */
    ZTBYTE messageId[24];              /* 48 */
    ZTBYTE correlationId[24];          /* 72 */
    ZTLONG backoutCount;               /* 96 */
    char   replyToQueueName[48];       /* 100 */
    char   replyToQueueManagerName[48];/* 148 */
    char   userId[12];                 /* 196 */
    ZTBYTE accountingToken[32];        /* 208 */
    char   applicationIdData[32];      /* 240 */
    ZTLONG putApplicationType;         /* 272 */
    char   putApplicationName[28];     /* 276 */
    char   putDate[8];                 /* 304: YYYYMMDD */
    char   putTime[8];                 /* 312: HHMMSSTH */
    char   applicationOriginData[4];   /* 320 */
    /* version 2 and later */
    ZTBYTE groupId[24];                /* 324 */
    ZTLONG messageSequenceNumber;      /* 348 */
    ZTLONG offset;                     /* 352 */
    ZTLONG messageFlags;               /* 356 */
    ZTLONG originalLength;             /* 360 */
} ZTMD;
ZTM_ASSERT(sizeof(ZTMD) == 364, "ZTMD size");
ZTM_ASSERT(offsetof(ZTMD, format) == 32, "ZTMD.format");
ZTM_ASSERT(offsetof(ZTMD, priority) == 40, "ZTMD.priority");
ZTM_ASSERT(offsetof(ZTMD, messageId) == 48, "ZTMD.messageId");
ZTM_ASSERT(offsetof(ZTMD, correlationId) == 72, "ZTMD.correlationId");
ZTM_ASSERT(offsetof(ZTMD, backoutCount) == 96, "ZTMD.backoutCount");
ZTM_ASSERT(offsetof(ZTMD, replyToQueueName) == 100, "ZTMD.replyToQueueName");
ZTM_ASSERT(offsetof(ZTMD, replyToQueueManagerName) == 148, "ZTMD.replyToQueueManagerName");
ZTM_ASSERT(offsetof(ZTMD, userId) == 196, "ZTMD.userId");
ZTM_ASSERT(offsetof(ZTMD, accountingToken) == 208, "ZTMD.accountingToken");
ZTM_ASSERT(offsetof(ZTMD, applicationIdData) == 240, "ZTMD.applicationIdData");
ZTM_ASSERT(offsetof(ZTMD, putApplicationType) == 272, "ZTMD.putApplicationType");
ZTM_ASSERT(offsetof(ZTMD, putApplicationName) == 276, "ZTMD.putApplicationName");
ZTM_ASSERT(offsetof(ZTMD, putDate) == 304, "ZTMD.putDate");
ZTM_ASSERT(offsetof(ZTMD, putTime) == 312, "ZTMD.putTime");
ZTM_ASSERT(offsetof(ZTMD, applicationOriginData) == 320, "ZTMD.applicationOriginData");
ZTM_ASSERT(offsetof(ZTMD, groupId) == 324, "ZTMD.groupId");
ZTM_ASSERT(offsetof(ZTMD, messageSequenceNumber) == 348, "ZTMD.messageSequenceNumber");
ZTM_ASSERT(offsetof(ZTMD, offset) == 352, "ZTMD.offset");
ZTM_ASSERT(offsetof(ZTMD, messageFlags) == 356, "ZTMD.messageFlags");
ZTM_ASSERT(offsetof(ZTMD, originalLength) == 360, "ZTMD.originalLength");

/* ------------------------------------------------------------------ */
/* Get-message options ZTGMO: 100 bytes                               */
/* ------------------------------------------------------------------ */
#define ZTGMO_EYE_CATCHER "GMO "
typedef struct tagZTGMO {
    char   eyeCatcher[4];         /* 0 */
    ZTLONG version;               /* 4 */
    ZTLONG options;               /* 8 */
    ZTLONG waitInterval;          /* 12 */
    ZTLONG reserved1[2];          /* 16 */
    char   resolvedQueueName[48]; /* 24 */
    ZTLONG matchOptions;          /* 72: version 2 and later */
    char   groupStatus;           /* 76: version 2 and later */
    char   segmentStatus;         /* 77 */
    char   segmentation;          /* 78 */
    ZTBYTE reserved2[21];         /* 79 */
} ZTGMO;
ZTM_ASSERT(sizeof(ZTGMO) == 100, "ZTGMO size");
ZTM_ASSERT(offsetof(ZTGMO, waitInterval) == 12, "ZTGMO.waitInterval");
ZTM_ASSERT(offsetof(ZTGMO, resolvedQueueName) == 24, "ZTGMO.resolvedQueueName");
ZTM_ASSERT(offsetof(ZTGMO, matchOptions) == 72, "ZTGMO.matchOptions");
ZTM_ASSERT(offsetof(ZTGMO, groupStatus) == 76, "ZTGMO.groupStatus");
ZTM_ASSERT(offsetof(ZTGMO, segmentation) == 78, "ZTGMO.segmentation");
ZTM_ASSERT(offsetof(ZTGMO, reserved2) == 79, "ZTGMO.reserved2");

/* ------------------------------------------------------------------ */
/* Response record ZTRR: 8 bytes, laid end to end                     */
/* ------------------------------------------------------------------ */
typedef struct tagZTRR {
    ZTLONG completionCode;
    ZTLONG reason;
} ZTRR;
ZTM_ASSERT(sizeof(ZTRR) == 8, "ZTRR size");

/* ------------------------------------------------------------------ */
/* Put-message record ZTPMR: no fixed layout. The field flags select  */
/* which fields are present; they follow one another in this order.   */
/* ------------------------------------------------------------------ */
#define ZTPMRF_MSG_ID           0x1  /* 24 bytes */
#define ZTPMRF_CORREL_ID        0x2  /* 24 bytes */
#define ZTPMRF_GROUP_ID         0x4  /* 24 bytes */
#define ZTPMRF_FEEDBACK         0x8  /* 4 bytes, machine order */
#define ZTPMRF_ACCOUNTING_TOKEN 0x10 /* 32 bytes */
#define ZTPMR_MAX_LENGTH        108

/* ------------------------------------------------------------------ */
/* Put-message options ZTPMO: 152 bytes on the 32-bit target          */
/* ------------------------------------------------------------------ */
#define ZTPMO_EYE_CATCHER "PMO "
typedef struct tagZTPMO {
    char   eyeCatcher[4];                /* 0 */
    ZTLONG version;                      /* 4 */
    ZTLONG options;                      /* 8 */
    ZTLONG reserved1;                    /* 12 */
    ZTLONG context;                      /* 16: an object handle */
    ZTLONG knownDestCount;               /* 20 */
    ZTLONG unknownDestCount;             /* 24 */
    ZTLONG invalidDestCount;             /* 28 */
    char   resolvedQueueName[48];        /* 32 */
    char   resolvedQueueManagerName[48]; /* 80 */
    ZTLONG recordCount;                  /* 128 */
    ZTLONG putMsgRecordFields;           /* 132 */
    ZTLONG reserved2[2];                 /* 136 */
    ZTBYTE* putMsgRecords;               /* 144 */
    ZTRR*   responseRecords;             /* 144 + address */
} ZTPMO;
ZTM_ASSERT(offsetof(ZTPMO, context) == 16, "ZTPMO.context");
ZTM_ASSERT(offsetof(ZTPMO, knownDestCount) == 20, "ZTPMO.knownDestCount");
ZTM_ASSERT(offsetof(ZTPMO, invalidDestCount) == 28, "ZTPMO.invalidDestCount");
ZTM_ASSERT(offsetof(ZTPMO, resolvedQueueName) == 32, "ZTPMO.resolvedQueueName");
ZTM_ASSERT(offsetof(ZTPMO, resolvedQueueManagerName) == 80, "ZTPMO.resolvedQueueManagerName");
ZTM_ASSERT(offsetof(ZTPMO, recordCount) == 128, "ZTPMO.recordCount");
ZTM_ASSERT(offsetof(ZTPMO, putMsgRecordFields) == 132, "ZTPMO.putMsgRecordFields");
ZTM_ASSERT(offsetof(ZTPMO, putMsgRecords) == 144, "ZTPMO.putMsgRecords");
ZTM_ASSERT(offsetof(ZTPMO, responseRecords) == 144 + ZT_ADDR, "ZTPMO.responseRecords");
ZTM_ASSERT(sizeof(ZTPMO) == 144 + 2 * ZT_ADDR, "ZTPMO size (152 on 32-bit)");

/* ------------------------------------------------------------------ */
/* Object record ZTOR: 96 bytes, laid end to end                      */
/* ------------------------------------------------------------------ */
typedef struct tagZTOR {
    char objectName[48];     /* 0 */
    char objectQMgrName[48]; /* 48 */
} ZTOR;
ZTM_ASSERT(sizeof(ZTOR) == 96, "ZTOR size");
ZTM_ASSERT(offsetof(ZTOR, objectQMgrName) == 48, "ZTOR.objectQMgrName");

/* ------------------------------------------------------------------ */
/* Object descriptor ZTOD: 336 bytes on the 32-bit target             */
/* ------------------------------------------------------------------ */
#define ZTOD_EYE_CATCHER "OD  "
typedef struct tagZTOD {
    char   eyeCatcher[4];       /* 0 */
    ZTLONG version;             /* 4 */
    ZTLONG objectType;          /* 8 */
    char   objectName[48];      /* 12 */
    char   objectQMgrName[48];  /* 60 */
    char   dynamicQName[48];    /* 108 */
    char   alternateUserId[12]; /* 156 */
    ZTLONG recsPresent;         /* 168: version 2 and later */
    ZTLONG knownDestCount;      /* 172 */
    ZTLONG unknownDestCount;    /* 176 */
    ZTLONG invalidDestCount;    /* 180 */
    ZTLONG reserved1[2];        /* 184 */
    ZTOR*  objectRecords;       /* 192 */
    ZTRR*  responseRecords;     /* 192 + address */
    ZTBYTE reserved2[136];      /* 192 + 2 addresses */
} ZTOD;
ZTM_ASSERT(offsetof(ZTOD, objectType) == 8, "ZTOD.objectType");
ZTM_ASSERT(offsetof(ZTOD, objectName) == 12, "ZTOD.objectName");
ZTM_ASSERT(offsetof(ZTOD, objectQMgrName) == 60, "ZTOD.objectQMgrName");
ZTM_ASSERT(offsetof(ZTOD, dynamicQName) == 108, "ZTOD.dynamicQName");
ZTM_ASSERT(offsetof(ZTOD, alternateUserId) == 156, "ZTOD.alternateUserId");
ZTM_ASSERT(offsetof(ZTOD, recsPresent) == 168, "ZTOD.recsPresent");
ZTM_ASSERT(offsetof(ZTOD, knownDestCount) == 172, "ZTOD.knownDestCount");
ZTM_ASSERT(offsetof(ZTOD, invalidDestCount) == 180, "ZTOD.invalidDestCount");
ZTM_ASSERT(offsetof(ZTOD, objectRecords) == 192, "ZTOD.objectRecords");
ZTM_ASSERT(offsetof(ZTOD, responseRecords) == 192 + ZT_ADDR, "ZTOD.responseRecords");
ZTM_ASSERT(offsetof(ZTOD, reserved2) == 192 + 2 * ZT_ADDR, "ZTOD.reserved2");
ZTM_ASSERT(sizeof(ZTOD) == 328 + 2 * ZT_ADDR, "ZTOD size (336 on 32-bit)");

/* ------------------------------------------------------------------ */
/* Service-provider put options ZTLPOP and activate record ZTLACT     */
/* ------------------------------------------------------------------ */
#define ZTLPOP_EYE_CATCHER "LPOP"
#define ZTLPOP_DEFERRED 4
typedef struct tagZTLPOP {
    char   eyeCatcher[4]; /* "LPOP" */
    ZTLONG version;       /* 1 */
    ZTLONG options;
} ZTLPOP;
ZTM_ASSERT(sizeof(ZTLPOP) == 12, "ZTLPOP size");
ZTM_ASSERT(offsetof(ZTLPOP, options) == 8, "ZTLPOP.options");

#define ZTLACT_EYE_CATCHER "LACT"
#define ZTLACT_ACTIVATE 1
#define ZTLACT_CANCEL   2
typedef struct tagZTLACT {
    char   eyeCatcher[4];  /* 0: "LACT" */
    ZTLONG version;        /* 4: 1 */
    ZTLONG action;         /* 8 */
    ZTBYTE reserved[96];   /* 12 */
    ZTBYTE messageKey[24]; /* 108 */
} ZTLACT;
ZTM_ASSERT(sizeof(ZTLACT) == 132, "ZTLACT size");
ZTM_ASSERT(offsetof(ZTLACT, action) == 8, "ZTLACT.action");
ZTM_ASSERT(offsetof(ZTLACT, reserved) == 12, "ZTLACT.reserved");
ZTM_ASSERT(offsetof(ZTLACT, messageKey) == 108, "ZTLACT.messageKey");

/* ------------------------------------------------------------------ */
/* Options of the stand-in queue manager (its own values, except      */
/* where the bridge depends on them)                                  */
/* ------------------------------------------------------------------ */
/* Open options */
#define ZTOO_INPUT_SHARED    0x0002
#define ZTOO_INPUT_EXCLUSIVE 0x0004
#define ZTOO_BROWSE          0x0008
#define ZTOO_OUTPUT          0x0010
#define ZTOO_INQUIRE         0x0020
#define ZTOO_SET             0x0040
/* Object types */
#define ZTOT_Q               1
/* Put options: 0x400 and 0x800 are the context bits the converters test. */
#define ZTPMO_SYNCPOINT        0x0002
#define ZTPMO_NO_SYNCPOINT     0x0004
#define ZTPMO_NEW_MSG_ID       0x0040
#define ZTPMO_SET_IDENTITY_CONTEXT 0x0400
#define ZTPMO_SET_ALL_CONTEXT  0x0800
/* Get options */
#define ZTGMO_WAIT             0x0001
#define ZTGMO_SYNCPOINT        0x0002
#define ZTGMO_NO_SYNCPOINT     0x0004
#define ZTGMO_ACCEPT_TRUNCATED 0x0040
/* Match options (get-message options version 2) */
#define ZTMO_MATCH_MSG_ID      0x0001
#define ZTMO_MATCH_CORREL_ID   0x0002
/* Inquire and set selectors: integers below 2000, characters from 2000 */
#define ZTIA_CURRENT_DEPTH     3
#define ZTIA_MAX_DEPTH         15
#define ZTIA_INHIBIT_GET       9
#define ZTIA_INHIBIT_PUT       10
#define ZTCA_Q_NAME            2016
/* Close options */
#define ZTCO_NONE              0
/* Persistence (ZTMD.persistence). With a state directory a persistent
   message outlives the process; queues default to not persistent. */
#define ZTPER_NOT_PERSISTENT       0
#define ZTPER_PERSISTENT           1
#define ZTPER_PERSISTENCE_AS_Q_DEF 2
/* Put application type stamped by the queue manager's own context */
#define ZTAT_UNIX              6
/* Limits of the stand-in queue manager */
#define ZT_MAX_SELECTORS       256
#define ZT_MAX_RECORDS         1000000   /* destination-list records per call */
#define ZT_MAX_MESSAGE_LENGTH  104857600 /* 100 MB */
#define ZT_DEFAULT_MAX_DEPTH   100000
/* The queue manager a blank name connects to; the name says whom you got. */
#define ZT_DEFAULT_QMGR_NAME   "ZTQM.STANDIN"

/* ------------------------------------------------------------------ */
/* XA                                                                 */
/* ------------------------------------------------------------------ */
#define XIDDATASIZE 128
#define MAXGTRIDSIZE 64
#define MAXBQUALSIZE 64
typedef struct xid_t {
    long formatID;     /* -1 means the XID is null */
    long gtrid_length; /* 1 to 64 */
    long bqual_length; /* 0 to 64 */
    char data[XIDDATASIZE];
} XID;
ZTM_ASSERT(sizeof(XID) == 3 * sizeof(long) + 128, "XID size (140 on 32-bit)");
ZTM_ASSERT(offsetof(XID, gtrid_length) == sizeof(long), "XID.gtrid_length");
ZTM_ASSERT(offsetof(XID, bqual_length) == 2 * sizeof(long), "XID.bqual_length");
ZTM_ASSERT(offsetof(XID, data) == 3 * sizeof(long), "XID.data");

/* XA flags */
#define TMNOFLAGS     0x00000000L
#define TMREGISTER    0x00000001L
#define TMNOMIGRATE   0x00000002L
#define TMUSEASYNC    0x00000004L
#define TMASYNC       0x80000000L
#define TMONEPHASE    0x40000000L
#define TMFAIL        0x20000000L
#define TMNOWAIT      0x10000000L
#define TMRESUME      0x08000000L
#define TMSUCCESS     0x04000000L
#define TMSUSPEND     0x02000000L
#define TMSTARTRSCAN  0x01000000L
#define TMENDRSCAN    0x00800000L
#define TMMULTIPLE    0x00400000L
#define TMJOIN        0x00200000L
#define TMMIGRATE     0x00100000L

/* XA return codes */
#define XA_RBBASE     100
#define XA_RBROLLBACK XA_RBBASE
#define XA_RBEND      (XA_RBBASE + 7)
#define XA_NOMIGRATE  9
#define XA_HEURHAZ    8
#define XA_HEURCOM    7
#define XA_HEURRB     6
#define XA_HEURMIX    5
#define XA_RETRY      4
#define XA_RDONLY     3
#define XA_OK         0
#define XAER_ASYNC    -2
#define XAER_RMERR    -3
#define XAER_NOTA     -4
#define XAER_INVAL    -5
#define XAER_PROTO    -6
#define XAER_RMFAIL   -7
#define XAER_DUPID    -8
#define XAER_OUTSIDE  -9

/* ------------------------------------------------------------------ */
/* Functions. Each but the zstXA ones ends with completion code, then */
/* reason; queue manager names are 48-byte fields, not C strings.     */
/* ------------------------------------------------------------------ */
ZTM_API void ZTCONN(char* qmgrName, ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason);
ZTM_API void ZTCONNX(char* qmgrName, ZTCNO* connectOptions, ZTLONG* hconn,
                     ZTLONG* compCode, ZTLONG* reason);
ZTM_API void lpiSPIZTConnect(char* qmgrName, ZTLCNO* spiConnect, ZTCNO* connectOptions,
                             ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason);
ZTM_API void ZTDISC(ZTLONG* hconn, ZTLONG* compCode, ZTLONG* reason);
ZTM_API void ZTBEGIN(ZTLONG hconn, ZTBO* beginOptions, ZTLONG* compCode, ZTLONG* reason);
ZTM_API void ZTCMIT(ZTLONG hconn, ZTLONG* compCode, ZTLONG* reason);
ZTM_API void ZTBACK(ZTLONG hconn, ZTLONG* compCode, ZTLONG* reason);

ZTM_API void ZTOPEN(ZTLONG hconn, ZTOD* objDesc, ZTLONG options, ZTLONG* hobj,
                    ZTLONG* compCode, ZTLONG* reason);
ZTM_API void ZTCLOSE(ZTLONG hconn, ZTLONG* hobj, ZTLONG options, ZTLONG* compCode,
                     ZTLONG* reason);
ZTM_API void ZTINQ(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
                   ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength,
                   char* charAttrs, ZTLONG* compCode, ZTLONG* reason);
ZTM_API void ZTSET(ZTLONG hconn, ZTLONG hobj, ZTLONG selectorCount, ZTLONG* selectors,
                   ZTLONG intAttrCount, ZTLONG* intAttrs, ZTLONG charAttrLength,
                   char* charAttrs, ZTLONG* compCode, ZTLONG* reason);

ZTM_API void ZTPUT(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTPMO* putOptions,
                   ZTLONG dataLength, void* data, ZTLONG* compCode, ZTLONG* reason);
ZTM_API void ZTPUT1(ZTLONG hconn, ZTOD* objDesc, ZTMD* msgDesc, ZTPMO* putOptions,
                    ZTLONG dataLength, void* data, ZTLONG* compCode, ZTLONG* reason);
ZTM_API void ZTGET(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTGMO* getOptions,
                   ZTLONG bufferLength, void* buffer, ZTLONG* dataLength,
                   ZTLONG* compCode, ZTLONG* reason);

ZTM_API void lpiSPIPut(ZTLONG hconn, ZTLONG hobj, ZTMD* msgDesc, ZTPMO* putOptions,
                       ZTLONG dataLength, void* data, ZTLPOP* spiPutOptions,
                       ZTLONG* compCode, ZTLONG* reason);
ZTM_API void lpiSPIActivateMessage(ZTLONG hconn, ZTLACT* activate, ZTLONG* compCode,
                                   ZTLONG* reason);

/* XA functions of libztmzse; each returns an XA return code. */
ZTM_API int zstXAOpen(char* openString, int rmid, long flags, int agentModel, int arg5,
                      int arg6);
ZTM_API int zstXAClose(char* closeString, int rmid, long flags);
ZTM_API int zstXAStart(XID* xid, int rmid, long flags, int arg4);
ZTM_API int zstXAEnd(XID* xid, int rmid, long flags);
ZTM_API int zstXARollback(XID* xid, int rmid, long flags);
ZTM_API int zstXAPrepare(XID* xid, int rmid, long flags);
ZTM_API int zstXACommit(XID* xid, int rmid, long flags);
ZTM_API int zstXARecover(XID* xids, long count, int rmid, long flags);
ZTM_API int zstXAForget(XID* xid, int rmid, long flags);
ZTM_API int zstXAComplete(int* handle, int* retval, int rmid, long flags);

#ifdef __cplusplus
}
#endif

#endif /* ZTM_H */
