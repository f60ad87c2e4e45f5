#pragma once

#include "app/FileWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <unistd.h>

// A folder where nothing more fits once fill() is called. As root (CI) it
// is a small tmpfs of its own, filled to the last block, so writes fail
// with "no space" as on a real full disk; elsewhere the file-size limit of
// the process (and of the programs it starts) is set to 0, so writes fail
// with "file too large". Either way nothing at all can be added.
class FullDisk {
  public:
    // readOnly: the tmpfs is mounted read-only (root only); sizeLimit: the
    // file-size limit even where a tmpfs could be mounted.
    explicit FullDisk(bool readOnly = false, bool sizeLimit = false) {
        if (::geteuid() == 0 && !sizeLimit)
            m_mounted = ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs",
                                readOnly ? MS_RDONLY : 0, "size=256k") == 0;
    }
    ~FullDisk() {
        release();
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    // What a write is refused for here.
    app::FileFault expectedFault() const {
        return m_mounted ? app::FileFault::NoSpace : app::FileFault::TooLarge;
    }

    // From now on nothing more fits (in this process and the programs it
    // starts through start()).
    void fill() {
        if (m_mounted) {
            QFile filler(filePath(QStringLiteral(".filler")));
            filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
            const QByteArray block(4096, 'x');
            while (filler.write(block) == block.size()) {
            }
            // The last partial block as well.
            while (filler.write("x", 1) == 1) {
            }
        } else {
            // Caught, not ignored: a handler does not pass to the programs
            // started, so they must stand the limit by themselves.
            ::signal(SIGXFSZ, [](int) {});
            ::getrlimit(RLIMIT_FSIZE, &m_saved);
            rlimit none{0, m_saved.rlim_max};
            ::setrlimit(RLIMIT_FSIZE, &none);
            m_limited = true;
        }
    }
    void release() {
        if (m_mounted)
            QFile::remove(filePath(QStringLiteral(".filler")));
        if (m_limited)
            ::setrlimit(RLIMIT_FSIZE, &m_saved);
        m_limited = false;
    }
    // Files other than the filler: what a failed write must not leave.
    QStringList files() const {
        QStringList names =
            QDir(path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
        names.removeAll(QStringLiteral(".filler"));
        return names;
    }

  private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    bool m_limited = false;
    rlimit m_saved{};
};
