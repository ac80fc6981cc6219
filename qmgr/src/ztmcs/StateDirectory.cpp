#include "StateDirectory.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace ztmeng {
namespace {

// The lock belongs to the directory, not to one StateDirectory object: when
// the last holder is being destroyed while another thread claims the same
// directory, the new object takes over the open lock instead of racing the
// old one's close (flock conflicts between descriptors of one process too).
struct Claim {
    std::weak_ptr<StateDirectory> holder;
    int fd = -1;
};

std::mutex registryMutex;
std::map<std::string, Claim>& registry() {
    static auto* claims = new std::map<std::string, Claim>;  // outlives static destructors
    return *claims;
}

const char kLockFile[] = "/owner.lock";

// A child made by fork shares the parent's locks through the descriptors it
// inherits: it drops them, so that it owns nothing, and the directory is free
// once the parent ends.
void lockForFork() { registryMutex.lock(); }
void unlockInParent() { registryMutex.unlock(); }
void forgetInChild() {
    for (auto& entry : registry()) ::close(entry.second.fd);
    registry().clear();
    registryMutex.unlock();
}
// Registered when the library loads, before the engine's handler: fork runs
// that one's preparation first, so the engine's lock is taken before this
// one, as everywhere else.
const bool forkHandlers = pthread_atfork(lockForFork, unlockInParent, forgetInChild) == 0;

std::string errnoText(int err) { return std::strerror(err); }

// The pid the owner wrote into the lock file, for the message.
std::string ownerOf(int fd) {
    char buf[32] = {};
    ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
    if (n <= 0) return "another process";
    buf[n] = '\0';
    buf[std::strcspn(buf, "\n")] = '\0';
    return std::string("process ") + buf;
}

}  // namespace

StateDirectory::StateDirectory(std::string canonicalPath) : path_(std::move(canonicalPath)) {}

const std::string& StateDirectory::path() const { return path_; }

std::shared_ptr<StateDirectory> StateDirectory::claim(const std::string& path, std::string& error) {
    namespace fs = std::filesystem;
    if (path.empty()) {
        error = "state directory: empty path";
        return nullptr;
    }
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) {
        error = "state directory " + path + ": cannot create: " + ec.message();
        return nullptr;
    }
    std::string canonical = fs::canonical(path, ec).string();
    if (ec) {
        error = "state directory " + path + ": " + ec.message();
        return nullptr;
    }
    if (!fs::is_directory(canonical, ec)) {
        error = "state directory " + path + ": not a directory";
        return nullptr;
    }

    (void)forkHandlers;
    std::lock_guard<std::mutex> lock(registryMutex);
    auto& claims = registry();
    auto it = claims.find(canonical);
    if (it != claims.end()) {
        if (auto held = it->second.holder.lock()) return held;
        // The last holder is on its way out: take its lock over.
        std::shared_ptr<StateDirectory> fresh(new StateDirectory(canonical));
        it->second.holder = fresh;
        return fresh;
    }

    std::string lockPath = canonical + kLockFile;
    int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "state directory " + canonical + ": cannot open " + lockPath + ": " + errnoText(errno);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        if (err == EWOULDBLOCK)
            error = "state directory " + canonical + " is owned by " + ownerOf(fd);
        else
            error = "state directory " + canonical + ": cannot lock " + lockPath + ": " + errnoText(err);
        ::close(fd);
        return nullptr;
    }
    // Only informative: name the owner for the message a refused process gets.
    std::string pid = std::to_string(static_cast<long>(::getpid())) + "\n";
    if (::ftruncate(fd, 0) == 0) {
        ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
        (void)written;
    }

    std::shared_ptr<StateDirectory> fresh(new StateDirectory(canonical));
    claims[canonical] = Claim{fresh, fd};
    return fresh;
}

StateDirectory::~StateDirectory() {
    std::lock_guard<std::mutex> lock(registryMutex);
    auto& claims = registry();
    auto it = claims.find(path_);
    // A newer holder may have taken the lock over; then it is still in use.
    if (it == claims.end() || !it->second.holder.expired()) return;
    ::close(it->second.fd);  // closing releases the flock
    claims.erase(it);
}

}  // namespace ztmeng
