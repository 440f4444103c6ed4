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
#include <ostream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
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
    explicit FifoWatch(const std::string& path) : path_(path)
    {
        made_ = ::mkfifo(path_.c_str(), 0600) == 0;
        watcher_ = std::thread([this] {
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

#endif
