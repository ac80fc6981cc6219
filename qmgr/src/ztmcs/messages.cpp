// Messages: put, put-one, get, deferred messages.
#include "state.h"

namespace ztmeng {

namespace {
void notYet(ZTLONG& cc, ZTLONG& rc) {
    cc = ZTCC_FAILED;
    rc = ZTRC_NOT_SUPPORTED_YET;
}
}  // namespace

void workPut(ZTLONG, ZTLONG, ZTMD*, ZTPMO*, ZTLONG, void*, ZTLPOP*, ZTLONG& cc, ZTLONG& rc) {
    notYet(cc, rc);
}
void workPut1(ZTLONG, ZTOD*, ZTMD*, ZTPMO*, ZTLONG, void*, ZTLONG& cc, ZTLONG& rc) {
    notYet(cc, rc);
}
void workGet(ZTLONG, ZTLONG, ZTMD*, ZTGMO*, ZTLONG, void*, ZTLONG*, ZTLONG& cc, ZTLONG& rc) {
    notYet(cc, rc);
}
void workActivate(ZTLONG, ZTLACT*, ZTLONG& cc, ZTLONG& rc) { notYet(cc, rc); }

}  // namespace ztmeng
