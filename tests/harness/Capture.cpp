#include "Jvm.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

namespace zt::test {
namespace {

bool selected(Streams which, int fd) { return (static_cast<int>(which) & fd) != 0; }

void flushJava(const char* stream) {
    jobject s = getStaticObject("java/lang/System", stream, "Ljava/io/PrintStream;");
    callVoid(s, "flush", "()V");
    deleteLocalRef(s);
}

// Everything written so far reaches the file descriptors before they move.
void flushAll() {
    if (vm()) {
        flushJava("out");
        flushJava("err");
    }
    std::cout.flush();
    std::cerr.flush();
    std::fflush(stdout);
    std::fflush(stderr);
}

[[noreturn]] void fail(const char* what) {
    throw std::runtime_error(std::string("Capture: ") + what + ": " + std::strerror(errno));
}

} // namespace

Capture::Capture(Streams which) : which_(which) {
    flushAll();
    std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    std::string path = dir + "/zt-capture-XXXXXX";
    file_ = mkstemp(path.data());
    if (file_ < 0) fail("mkstemp");
    unlink(path.c_str());
    for (int fd = 1; fd <= 2; ++fd) {
        if (!selected(which_, fd)) continue;
        saved_[fd] = dup(fd);
        if (saved_[fd] < 0 || dup2(file_, fd) < 0) fail("dup");
    }
    // Unbuffered while capturing, so the text shows the order of the writes.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
}

Capture::~Capture() {
    if (done_) return;
    try {
        finish();
    } catch (...) {
        // Nothing to report from a destructor; the streams are back either way.
    }
}

std::string Capture::finish() {
    if (done_) throw std::logic_error("Capture::finish called twice");
    done_ = true;
    flushAll();
    for (int fd = 1; fd <= 2; ++fd) {
        if (saved_[fd] < 0) continue;
        dup2(saved_[fd], fd);
        close(saved_[fd]);
        saved_[fd] = -1;
    }
    std::setvbuf(stdout, nullptr, isatty(1) ? _IOLBF : _IOFBF, BUFSIZ);
    std::string text;
    if (lseek(file_, 0, SEEK_SET) < 0) fail("lseek");
    char buf[4096];
    for (;;) {
        ssize_t n = read(file_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("read");
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    close(file_);
    file_ = -1;
    return text;
}

std::string capture(Streams which, const std::function<void()>& fn) {
    Capture c(which);
    fn();
    return c.finish();
}

} // namespace zt::test
