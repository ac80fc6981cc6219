// Objects: open, close, inquire, set.
#include "state.h"

namespace ztmeng {

namespace {
void notYet(ZTLONG& cc, ZTLONG& rc) {
    cc = ZTCC_FAILED;
    rc = ZTRC_NOT_SUPPORTED_YET;
}
}  // namespace

void workOpen(ZTLONG, ZTOD*, ZTLONG, ZTLONG*, ZTLONG& cc, ZTLONG& rc) { notYet(cc, rc); }
void workClose(ZTLONG, ZTLONG*, ZTLONG, ZTLONG& cc, ZTLONG& rc) { notYet(cc, rc); }
void workInquire(ZTLONG, ZTLONG, ZTLONG, ZTLONG*, ZTLONG, ZTLONG*, ZTLONG, char*, ZTLONG& cc,
                 ZTLONG& rc) {
    notYet(cc, rc);
}
void workSet(ZTLONG, ZTLONG, ZTLONG, ZTLONG*, ZTLONG, ZTLONG*, ZTLONG, char*, ZTLONG& cc,
             ZTLONG& rc) {
    notYet(cc, rc);
}

}  // namespace ztmeng
