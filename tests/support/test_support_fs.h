// Small file helpers for the model tests.
#ifndef SKW_TESTS_MODEL_TEST_SUPPORT_FS_H
#define SKW_TESTS_MODEL_TEST_SUPPORT_FS_H

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>
#include <thread>

#include <functional>
#include <vector>

#include <csignal>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

inline void WriteFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Sets or removes one environment variable for a scope, restoring it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray* value) : name_(name)
    {
        had_ = qEnvironmentVariableIsSet(name);
        old_ = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv()
    {
        if (had_)
            qputenv(name_, old_);
        else
            qunsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

// A named pipe at `path` for readers that must not open one: opening it for
// reading waits for a writer for ever. A watcher plays the writer whenever a
// reader waits (a non-blocking open for writing succeeds only then), so a
// reader that does open it gets an empty file instead of hanging the suite,
// and WasOpened() tells that it did.
class FifoWatch {
public:
    // Where `wait` is given, the writer comes only after it: an open that
    // waits on the pipe is then seen taking that long.
    explicit FifoWatch(const std::string& path, std::chrono::milliseconds wait = {}) : path_(path)
    {
        made_ = ::mkfifo(path_.c_str(), 0600) == 0;
        watcher_ = std::thread([this, wait] {
            const auto start = std::chrono::steady_clock::now();
            while (!done_ && std::chrono::steady_clock::now() - start < wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            while (!done_) {
                const int fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    opened_ = true;
                    ::close(fd);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
    }
    ~FifoWatch()
    {
        done_ = true;
        watcher_.join();
    }
    FifoWatch(const FifoWatch&) = delete;
    FifoWatch& operator=(const FifoWatch&) = delete;

    bool Made() const { return made_; }
    bool WasOpened() const { return opened_; }

private:
    std::string path_;
    bool made_ = false;
    std::atomic<bool> done_{false};
    std::atomic<bool> opened_{false};
    std::thread watcher_;
};

// A file's access control list, as hex (empty without one).
inline QByteArray AccessListOf(const QString& path)
{
    char list[256];
    const ssize_t size = ::lgetxattr(QFile::encodeName(path).constData(), "system.posix_acl_access", list, sizeof list);
    return size > 0 ? ":acl" + QByteArray(list, int(size)).toHex() : QByteArray();
}

// Gives `path` the access list user::rw-, user:`user`:rw-, group::---,
// mask::rw-, other::--- (its mode shows 0660); false where the file system
// keeps no such lists.
inline bool GiveAccessList(const QString& path, uid_t user)
{
    const std::uint32_t kAll = 0xFFFFFFFFu;
    const struct {
        std::uint16_t tag, permissions;
        std::uint32_t id;
    } entries[] = {{0x01, 6, kAll}, {0x02, 6, user}, {0x04, 0, kAll}, {0x10, 6, kAll}, {0x20, 0, kAll}};
    QByteArray list("\x02\x00\x00\x00", 4);  // version 2, then the entries in order, little endian
    list.append(reinterpret_cast<const char*>(entries), int(sizeof entries));
    return ::setxattr(QFile::encodeName(path).constData(), "system.posix_acl_access", list.constData(),
                      std::size_t(list.size()), 0) == 0;
}

// As root (who may write anywhere), tests that need a user's rights run as
// kOrdinaryUser in kOrdinaryGroup and kSharedGroup; kOtherUser owns what
// another user would.
constexpr uid_t kOrdinaryUser = 65534, kOtherUser = 65533;
constexpr gid_t kOrdinaryGroup = 65534, kSharedGroup = 65533;

// Runs `body` in a child process of user `user`, in group `group` and the
// supplementary `groups` (as root only), and sends its failures back here; a
// child still running after `seconds` is stopped, and that fails the test.
inline void AsUser(uid_t user, gid_t group, std::vector<gid_t> groups, const std::function<void()>& body,
                   unsigned seconds = 0)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return;
    struct Forward : testing::EmptyTestEventListener {
        int fd;
        explicit Forward(int to) : fd(to) { }
        void OnTestPartResult(const testing::TestPartResult& result) override
        {
            const std::string text = std::string(result.file_name() ? result.file_name() : "") + ":" +
                                     std::to_string(result.line_number()) + ": " + result.message() + "\n";
            if (result.failed() && ::write(fd, text.data(), text.size()) < 0)
                ::_exit(2);
        }
    };
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (seconds)
            ::alarm(seconds);
        testing::UnitTest::GetInstance()->listeners().Append(new Forward(channel[1]));
        if (::setgroups(groups.size(), groups.data()) == 0 && ::setresgid(group, group, group) == 0 &&
            ::setresuid(user, user, user) == 0)
            body();
        ::_exit(::getuid() == user ? 0 : 3);
    }
    ::close(channel[1]);
    std::string failures;
    char buffer[4096];
    for (ssize_t got; (got = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        failures.append(buffer, std::size_t(got));
    ::close(channel[0]);
    int status = -1;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(status, 0) << "the run as user " << user << " ended abnormally"
                         << (WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM ? ": it did not end in time" : "");
    EXPECT_EQ(failures, "") << "as user " << user;
}

// Runs `body` as an ordinary user: as root in a child process that drops to
// that user and sends its failures back here, otherwise as it is.
inline void AsOrdinaryUser(const std::function<void()>& body)
{
    if (::geteuid() != 0)
        return body();
    AsUser(kOrdinaryUser, kOrdinaryGroup, {kSharedGroup}, body);
}

#endif
