/*
 * A native XA transaction manager in miniature: it loads a resource
 * manager's library with dlopen, finds its XA switch by symbol name and
 * drives transaction branches through the switch's entry points only, as a
 * transaction manager does.
 *
 *   xa_tm_driver LIBRARY SWITCH OPEN_STRING [--name NAME] [--flags N] [--version N]
 *
 * An OPEN_STRING of @tmpdir stands for a new empty directory (removed at the
 * end), for resource managers whose open string names a working directory.
 * Exit status 0 when every check passed.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <ftw.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "xa_switch.h"

static int passed;
static int failed;

static void check(int ok, const char* what)
{
    printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (ok) {
        ++passed;
    } else {
        ++failed;
    }
}

static void checkCode(int got, int want, const char* what)
{
    char line[256];
    snprintf(line, sizeof line, "%s: %d (want %d)", what, got, want);
    check(got == want, line);
}

/* A branch of one global transaction of this run; the gtrid carries the
 * process id so that runs never meet in a resource manager's log. */
static XID makeXid(int tx, int branch)
{
    XID xid;
    memset(&xid, 0, sizeof xid);
    xid.formatID = 0x5a54; /* "ZT" */
    int len = snprintf(xid.data, MAXGTRIDSIZE, "zt-tm-%ld-%d", (long)getpid(), tx);
    xid.gtrid_length = len;
    len = snprintf(xid.data + xid.gtrid_length, MAXBQUALSIZE, "b%d", branch);
    xid.bqual_length = len;
    return xid;
}

static int sameXid(const XID* a, const XID* b)
{
    return a->formatID == b->formatID && a->gtrid_length == b->gtrid_length &&
           a->bqual_length == b->bqual_length &&
           memcmp(a->data, b->data, (size_t)(a->gtrid_length + a->bqual_length)) == 0;
}

/* One full recovery scan; how many times xid was listed, or -1 on error. */
static int recoverCount(struct xa_switch_t* sw, int rmid, const XID* xid)
{
    XID found[16];
    int n = sw->xa_recover_entry(found, 16, rmid, TMSTARTRSCAN | TMENDRSCAN);
    if (n < 0) {
        printf("     recover returned %d\n", n);
        return -1;
    }
    int hits = 0;
    for (int i = 0; i < n; ++i) {
        hits += sameXid(&found[i], xid);
    }
    return hits;
}

/* A full scan read a few records at a time: start, continue, end. */
static int recoverInSteps(struct xa_switch_t* sw, int rmid, const XID* xid)
{
    XID found[2];
    int hits = 0;
    long flags = TMSTARTRSCAN;
    for (int round = 0; round < 64; ++round) {
        int n = sw->xa_recover_entry(found, 2, rmid, flags);
        if (n < 0) {
            return -1;
        }
        for (int i = 0; i < n; ++i) {
            hits += sameXid(&found[i], xid);
        }
        flags = TMNOFLAGS;
        if (n < 2) {
            break;
        }
    }
    if (sw->xa_recover_entry(found, 0, rmid, TMENDRSCAN) < 0) {
        return -1;
    }
    return hits;
}

static int removeEntry(const char* path, const struct stat* st, int type, struct FTW* ftw)
{
    (void)st;
    (void)type;
    (void)ftw;
    return remove(path);
}

static void driveBranches(struct xa_switch_t* sw, int rmid)
{
    /* Two-phase commit. */
    XID a = makeXid(1, 1);
    checkCode(sw->xa_start_entry(&a, rmid, TMNOFLAGS), XA_OK, "2pc start");
    checkCode(sw->xa_end_entry(&a, rmid, TMSUCCESS), XA_OK, "2pc end TMSUCCESS");
    checkCode(sw->xa_prepare_entry(&a, rmid, TMNOFLAGS), XA_OK, "2pc prepare");
    checkCode(sw->xa_commit_entry(&a, rmid, TMNOFLAGS), XA_OK, "2pc commit");
    checkCode(sw->xa_commit_entry(&a, rmid, TMNOFLAGS), XAER_NOTA, "commit again: branch is gone");

    /* Rollback of an ended branch. */
    XID b = makeXid(2, 1);
    checkCode(sw->xa_start_entry(&b, rmid, TMNOFLAGS), XA_OK, "rollback: start");
    checkCode(sw->xa_end_entry(&b, rmid, TMSUCCESS), XA_OK, "rollback: end TMSUCCESS");
    checkCode(sw->xa_rollback_entry(&b, rmid, TMNOFLAGS), XA_OK, "rollback");
    checkCode(sw->xa_prepare_entry(&b, rmid, TMNOFLAGS), XAER_NOTA, "prepare after rollback");

    /* One-phase commit. */
    XID c = makeXid(3, 1);
    checkCode(sw->xa_start_entry(&c, rmid, TMNOFLAGS), XA_OK, "1pc start");
    checkCode(sw->xa_end_entry(&c, rmid, TMSUCCESS), XA_OK, "1pc end");
    checkCode(sw->xa_commit_entry(&c, rmid, TMONEPHASE), XA_OK, "1pc commit TMONEPHASE");

    /* Suspend and resume on the same thread. */
    XID d = makeXid(4, 1);
    checkCode(sw->xa_start_entry(&d, rmid, TMNOFLAGS), XA_OK, "suspend: start");
    checkCode(sw->xa_end_entry(&d, rmid, TMSUSPEND), XA_OK, "suspend: end TMSUSPEND");
    checkCode(sw->xa_start_entry(&d, rmid, TMRESUME), XA_OK, "suspend: start TMRESUME");
    checkCode(sw->xa_end_entry(&d, rmid, TMSUCCESS), XA_OK, "suspend: end TMSUCCESS");
    checkCode(sw->xa_rollback_entry(&d, rmid, TMNOFLAGS), XA_OK, "suspend: rollback");

    /* A prepared branch left in doubt is listed by recover until resolved. */
    XID e = makeXid(5, 1);
    checkCode(sw->xa_start_entry(&e, rmid, TMNOFLAGS), XA_OK, "in doubt: start");
    checkCode(sw->xa_end_entry(&e, rmid, TMSUCCESS), XA_OK, "in doubt: end");
    checkCode(sw->xa_prepare_entry(&e, rmid, TMNOFLAGS), XA_OK, "in doubt: prepare");
    checkCode(recoverCount(sw, rmid, &e), 1,
              "recover TMSTARTRSCAN|TMENDRSCAN lists the prepared branch once");
    checkCode(recoverInSteps(sw, rmid, &e), 1, "recover in steps of 2 lists it once");
    checkCode(sw->xa_commit_entry(&e, rmid, TMNOFLAGS), XA_OK, "in doubt: commit");
    checkCode(recoverCount(sw, rmid, &e), 0, "recover after commit no longer lists it");

    /* A prepared branch rolled back. */
    XID f = makeXid(6, 1);
    checkCode(sw->xa_start_entry(&f, rmid, TMNOFLAGS), XA_OK, "prepared rollback: start");
    checkCode(sw->xa_end_entry(&f, rmid, TMSUCCESS), XA_OK, "prepared rollback: end");
    checkCode(sw->xa_prepare_entry(&f, rmid, TMNOFLAGS), XA_OK, "prepared rollback: prepare");
    checkCode(recoverCount(sw, rmid, &f), 1, "recover lists it");
    checkCode(sw->xa_rollback_entry(&f, rmid, TMNOFLAGS), XA_OK, "prepared rollback: rollback");
    checkCode(recoverCount(sw, rmid, &f), 0, "recover after rollback no longer lists it");

    /* An XID the resource manager never saw. */
    XID g = makeXid(7, 1);
    checkCode(sw->xa_commit_entry(&g, rmid, TMNOFLAGS), XAER_NOTA, "commit of an unknown XID");
    checkCode(sw->xa_rollback_entry(&g, rmid, TMNOFLAGS), XAER_NOTA, "rollback of an unknown XID");
}

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr,
                "usage: %s LIBRARY SWITCH OPEN_STRING [--name NAME] [--flags N] [--version N]\n",
                argv[0]);
        return 2;
    }
    const char* library = argv[1];
    const char* symbol = argv[2];
    const char* openArg = argv[3];
    const char* wantName = NULL;
    long wantFlags = -1;
    long wantVersion = -1;
    for (int i = 4; i + 1 < argc; i += 2) {
        if (strcmp(argv[i], "--name") == 0) {
            wantName = argv[i + 1];
        } else if (strcmp(argv[i], "--flags") == 0) {
            wantFlags = strtol(argv[i + 1], NULL, 0);
        } else if (strcmp(argv[i], "--version") == 0) {
            wantVersion = strtol(argv[i + 1], NULL, 0);
        } else {
            fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }

    char tmpdir[] = "/tmp/xa_tm_XXXXXX";
    char* openString = (char*)openArg;
    int madeDir = 0;
    if (strcmp(openArg, "@tmpdir") == 0) {
        if (mkdtemp(tmpdir) == NULL) {
            perror("mkdtemp");
            return 2;
        }
        openString = tmpdir;
        madeDir = 1;
    }

    void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (handle == NULL) {
        fprintf(stderr, "dlopen %s: %s\n", library, dlerror());
        return 2;
    }
    struct xa_switch_t* sw = (struct xa_switch_t*)dlsym(handle, symbol);
    if (sw == NULL) {
        fprintf(stderr, "dlsym %s: %s\n", symbol, dlerror());
        return 2;
    }
    printf("switch %s of %s: name \"%.*s\", flags %ld, version %ld\n", symbol, library, RMNAMESZ,
           sw->name, sw->flags, sw->version);
    if (wantName != NULL) {
        /* The name fills the field, NUL bytes after it to the end. */
        char field[RMNAMESZ];
        memset(field, 0, sizeof field);
        size_t length = strlen(wantName);
        memcpy(field, wantName, length < sizeof field ? length : sizeof field);
        check(memcmp(sw->name, field, sizeof field) == 0, "switch name, NUL-filled");
    }
    if (wantFlags >= 0) {
        checkCode((int)sw->flags, (int)wantFlags, "switch flags");
    }
    if (wantVersion >= 0) {
        checkCode((int)sw->version, (int)wantVersion, "switch version");
    }

    const int rmid = 1;
    int rc = sw->xa_open_entry(openString, rmid, TMNOFLAGS);
    checkCode(rc, XA_OK, "open");
    if (rc == XA_OK) {
        driveBranches(sw, rmid);
        checkCode(sw->xa_close_entry(openString, rmid, TMNOFLAGS), XA_OK, "close");
    }

    if (madeDir) {
        nftw(tmpdir, removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    }
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
