/*
 * The XA demo's native half: a transaction manager written in C loads
 * libxabridge, finds the switch ZTRMIXASwitch by name and drives the queue
 * manager through its entry points, as the Java demo does through ZTXAi.
 *
 *   xa_native_demo PATH_TO_LIBXABRIDGE [QMGR_NAME]
 *
 * Exits with 1 when a step does not end as expected.
 */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include "xa_switch.h"

enum { RMID = 1 };

static int unexpected;

static const char* words(int code)
{
    switch (code) {
    case XA_OK: return "XA_OK";
    case XA_RDONLY: return "XA_RDONLY";
    case XA_RBROLLBACK: return "XA_RBROLLBACK";
    case XAER_RMERR: return "XAER_RMERR";
    case XAER_NOTA: return "XAER_NOTA";
    case XAER_INVAL: return "XAER_INVAL";
    case XAER_PROTO: return "XAER_PROTO";
    case XAER_DUPID: return "XAER_DUPID";
    default: return "XA code";
    }
}

static void section(const char* title)
{
    printf("\n== %s\n", title);
}

static void step(const char* what, int code, int expected)
{
    printf("  %-40s -> %d (%s)\n", what, code, words(code));
    if (code != expected) {
        printf("  ^ unexpected: expected %d (%s)\n", expected, words(expected));
        ++unexpected;
    }
}

static XID makeXid(const char* gtrid, char branch)
{
    XID xid;
    memset(&xid, 0, sizeof xid);
    xid.formatID = 0x5a54;
    xid.gtrid_length = (long)strlen(gtrid);
    memcpy(xid.data, gtrid, (size_t)xid.gtrid_length);
    xid.bqual_length = 1;
    xid.data[xid.gtrid_length] = branch;
    return xid;
}

static void show(const char* label, const XID* xid)
{
    printf("    %s format %ld, gtrid \"%.*s\", bqual %d\n", label, xid->formatID,
           (int)xid->gtrid_length, xid->data, xid->data[xid->gtrid_length]);
}

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s PATH_TO_LIBXABRIDGE [QMGR_NAME]\n", argv[0]);
        return 2;
    }
    char* qmgr = argc > 2 ? argv[2] : (char*)"ZTQM";
    void* lib = dlopen(argv[1], RTLD_NOW);
    if (lib == NULL) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 2;
    }
    struct xa_switch_t* sw = (struct xa_switch_t*)dlsym(lib, "ZTRMIXASwitch");
    if (sw == NULL) {
        fprintf(stderr, "dlsym ZTRMIXASwitch: %s\n", dlerror());
        return 2;
    }
    printf("XA demo: a C transaction manager through the XA switch of %s\n", argv[1]);
    printf("switch ZTRMIXASwitch: resource manager \"%.*s\", flags %ld, version %ld\n", RMNAMESZ,
           sw->name, sw->flags, sw->version);

    section("open the queue manager as resource manager 1");
    step("xa_open_entry", sw->xa_open_entry(qmgr, RMID, TMNOFLAGS), XA_OK);

    XID committed = makeXid("order-2001", 1);
    section("two-phase commit");
    show("branch", &committed);
    step("xa_start_entry", sw->xa_start_entry(&committed, RMID, TMNOFLAGS), XA_OK);
    step("xa_end_entry TMSUCCESS", sw->xa_end_entry(&committed, RMID, TMSUCCESS), XA_OK);
    step("xa_prepare_entry", sw->xa_prepare_entry(&committed, RMID, TMNOFLAGS), XA_OK);
    step("xa_commit_entry", sw->xa_commit_entry(&committed, RMID, TMNOFLAGS), XA_OK);

    XID undone = makeXid("order-2002", 1);
    section("a rolled-back branch");
    show("branch", &undone);
    step("xa_start_entry", sw->xa_start_entry(&undone, RMID, TMNOFLAGS), XA_OK);
    step("xa_end_entry TMSUCCESS", sw->xa_end_entry(&undone, RMID, TMSUCCESS), XA_OK);
    step("xa_rollback_entry", sw->xa_rollback_entry(&undone, RMID, TMNOFLAGS), XA_OK);

    XID inDoubt = makeXid("order-2003", 2);
    section("a prepared branch left in doubt");
    show("branch", &inDoubt);
    step("xa_start_entry", sw->xa_start_entry(&inDoubt, RMID, TMNOFLAGS), XA_OK);
    step("xa_end_entry TMSUCCESS", sw->xa_end_entry(&inDoubt, RMID, TMSUCCESS), XA_OK);
    step("xa_prepare_entry", sw->xa_prepare_entry(&inDoubt, RMID, TMNOFLAGS), XA_OK);
    printf(
        "    ... the transaction manager loses track of it; its recovery asks the queue "
        "manager:\n");
    XID found[8];
    int n = sw->xa_recover_entry(found, 8, RMID, TMSTARTRSCAN | TMENDRSCAN);
    printf("  %-40s -> %d XID(s) in doubt\n", "xa_recover_entry TMSTARTRSCAN|TMENDRSCAN", n);
    for (int i = 0; i < n && i < 8; ++i) {
        show("in doubt:", &found[i]);
    }
    if (n != 1 || found[0].gtrid_length != inDoubt.gtrid_length ||
        memcmp(found[0].data, inDoubt.data,
               (size_t)(inDoubt.gtrid_length + inDoubt.bqual_length)) != 0) {
        printf("  ^ unexpected: recover should list the prepared branch alone\n");
        ++unexpected;
    } else {
        step("xa_commit_entry of the recovered XID",
             sw->xa_commit_entry(&found[0], RMID, TMNOFLAGS), XA_OK);
    }
    n = sw->xa_recover_entry(found, 8, RMID, TMSTARTRSCAN | TMENDRSCAN);
    printf("  %-40s -> %d XID(s) in doubt\n", "xa_recover_entry again", n);
    if (n != 0) {
        printf("  ^ unexpected: nothing should be in doubt now\n");
        ++unexpected;
    }

    section("close");
    step("xa_close_entry", sw->xa_close_entry(qmgr, RMID, TMNOFLAGS), XA_OK);

    printf("\n");
    if (unexpected > 0) {
        printf("%d step(s) did not end as expected\n", unexpected);
        return 1;
    }
    printf("XA native demo complete\n");
    return 0;
}
