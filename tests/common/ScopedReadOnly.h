#pragma once

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

// Makes a file or directory unwritable while in scope. Root ignores permission bits,
// so for root the immutable flag is used instead; Ok() is false where the file
// system refuses it (the caller then skips).
class ScopedReadOnly {
  public:
    explicit ScopedReadOnly(const QString &path) : path_(path) {
        if (geteuid() != 0) {
            const bool dir = QFileInfo(path).isDir();
            ok_ = QFile::setPermissions(path, dir ? QFile::ReadOwner | QFile::ExeOwner : QFile::ReadOwner);
            return;
        }
        ok_ = SetImmutable(true);
    }
    ~ScopedReadOnly() {
        if (!ok_) return;
        if (geteuid() != 0)
            QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        else
            SetImmutable(false);
    }
    ScopedReadOnly(const ScopedReadOnly &) = delete;
    ScopedReadOnly &operator=(const ScopedReadOnly &) = delete;

    bool Ok() const { return ok_; }

  private:
    bool SetImmutable(bool on) const {
        const int fd = ::open(QFile::encodeName(path_).constData(), O_RDONLY | O_NONBLOCK);
        if (fd < 0) return false;
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    QString path_;
    bool ok_ = false;
};
