#include "operations/MemoryTextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>

#include "app/Errors.h"

namespace {

// A memory file holds 8 KB of hex, in UTF-16 16 KB; anything above a mebibyte is no memory file.
constexpr qint64 kMemoryFileLimit = 1024 * 1024;

// Closes the descriptor on every way out; Close() reports the error of a close that fails,
// which is where a write that the system deferred can still fail.
class TFileHandle {
public:
    explicit TFileHandle(int fd) : FFd(fd) {}
    ~TFileHandle() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Fd() const { return FFd; }
    int Close() {
        const int result = ::close(FFd);
        FFd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int FFd;
};

}  // namespace

QByteArray ReadMemoryFile(const QString& fileName) {
    // Opened without waiting, so that a FIFO cannot block the window; only a regular file of
    // sane size is read: a device such as /dev/zero would be read until memory ran out.
    TFileHandle file(
        ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Fd() < 0)
        throw EInOutError::CannotOpen(fileName, errno);
    struct stat info {};
    if (::fstat(file.Fd(), &info) != 0)
        throw EInOutError::CannotOpen(fileName, errno);
    if (!S_ISREG(info.st_mode))
        throw EInOutError::CannotOpen(fileName, QStringLiteral("Not a regular file"), EINVAL);
    if (info.st_size > kMemoryFileLimit)
        throw EInOutError::CannotOpen(fileName, EFBIG);
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        if (bytes.size() > kMemoryFileLimit)
            throw EInOutError::CannotOpen(fileName, EFBIG);  // it grew while being read
        const ssize_t n = ::read(file.Fd(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EInOutError::Failed(fileName, errno);
        }
        if (n == 0)
            break;
        bytes.append(chunk, n);
    }
    return bytes;
}

void WriteMemoryFile(const QString& fileName, const QByteArray& bytes) {
    TFileHandle file(::open(QFile::encodeName(fileName).constData(),
                            O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.Fd() < 0)
        throw EInOutError::CannotCreate(fileName, errno);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(file.Fd(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EInOutError::Failed(fileName, errno);
        }
        done += n;
    }
    if (const int error = file.Close(); error != 0)
        throw EInOutError::Failed(fileName, error);
}
