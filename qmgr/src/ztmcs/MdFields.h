// The message descriptor's fields as the stores of a state directory keep
// them: by name, integers apart from byte fields, so that what is kept does
// not depend on the width or byte order of the process that wrote it. The
// eye-catcher and version are not listed: the engine keeps version 2
// descriptors only.
#ifndef ZTM_MD_FIELDS_H
#define ZTM_MD_FIELDS_H

#include <cstddef>

#include "ztm.h"

namespace ztmeng {

struct MdField {
    const char* name;
    size_t offset;
    size_t size;
    bool integer;  // a ZTLONG, else bytes
};

// clang-format off
#define ZT_INT(f) MdField{#f, offsetof(ZTMD, f), sizeof(ZTMD::f), true}
#define ZT_BYTES(f) MdField{#f, offsetof(ZTMD, f), sizeof(ZTMD::f), false}
inline constexpr MdField kMdFields[] = {
    ZT_INT(report), ZT_INT(messageType), ZT_INT(expiry), ZT_INT(feedback), ZT_INT(encoding),
    ZT_INT(characterSet), ZT_BYTES(format), ZT_INT(priority), ZT_INT(persistence),
    ZT_BYTES(messageId), ZT_BYTES(correlationId), ZT_INT(backoutCount),
    ZT_BYTES(replyToQueueName), ZT_BYTES(replyToQueueManagerName), ZT_BYTES(userId),
    ZT_BYTES(accountingToken), ZT_BYTES(applicationIdData), ZT_INT(putApplicationType),
    ZT_BYTES(putApplicationName), ZT_BYTES(putDate), ZT_BYTES(putTime),
    ZT_BYTES(applicationOriginData), ZT_BYTES(groupId), ZT_INT(messageSequenceNumber),
    ZT_INT(offset), ZT_INT(messageFlags), ZT_INT(originalLength)};
#undef ZT_INT
#undef ZT_BYTES
// clang-format on

}  // namespace ztmeng

#endif  // ZTM_MD_FIELDS_H
