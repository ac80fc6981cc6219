// One owner per state directory. Everything the stand-in keeps across
// processes (prepared branches, persistent messages) lives in a state
// directory; two processes working on one directory would both recover and
// both complete the same work, so a process claims the directory first.
#ifndef ZTM_STATE_DIRECTORY_H
#define ZTM_STATE_DIRECTORY_H

#include <memory>
#include <string>

#if !defined(ZTMENG_API)
#if defined(__GNUC__)
#define ZTMENG_API __attribute__((visibility("default")))
#else
#define ZTMENG_API
#endif
#endif

namespace ztmeng {

// The claim of one process on a state directory: while any holder keeps it,
// no other process can claim the same directory. Claims within one process
// share one lock (same directory -> same object).
class ZTMENG_API StateDirectory {
public:
    // Creates the directory when missing. Null and a message naming the
    // directory in `error` when it cannot be created or another process owns it.
    static std::shared_ptr<StateDirectory> claim(const std::string& path, std::string& error);
    const std::string& path() const;
    ~StateDirectory();   // releases the lock
    StateDirectory(const StateDirectory&) = delete;
    StateDirectory& operator=(const StateDirectory&) = delete;

private:
    explicit StateDirectory(std::string canonicalPath);
    std::string path_;
};

}  // namespace ztmeng

#endif
