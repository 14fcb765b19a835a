#include "map/qgis/program/project_saving.h"

#include "support/base/failure.h"
#include "support/files/file_checks.h"
#include "support/files/replacement_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <vector>

namespace bramlotte::qgishost {
namespace {

// What QGIS writes beside a .qgs project, named after the project file
// without its extension.
const char* const kCompanions[] = {".qgd", "_attachments.zip"};
// The longest a companion's name is beyond the project's own: a temporary
// name leaves this much room.
constexpr int kCompanionSpare = 16 - 4;  // "_attachments.zip" in place of ".qgs"

// A companion of the temporary project and the name it takes beside the
// original.
struct Companion {
    support::ScratchFile written;
    QString target;
};

void syncFile(const QByteArray& path, const QString& target) {
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int err = errno;
        if (fd >= 0) {
            ::close(fd);
        }
        throw support::Failure::fromErrno(err, target);
    }
    ::close(fd);
}

// Puts the project's file name back when QGIS has taken the temporary one.
class FileNameKept {
  public:
    FileNameKept(QgsProject& project, const QString& name) : project_(project), name_(name) {}
    ~FileNameKept() { project_.setFileName(name_); }
    FileNameKept(const FileNameKept&) = delete;
    FileNameKept& operator=(const FileNameKept&) = delete;

  private:
    QgsProject& project_;
    QString name_;
};

void save(QgsProject& project, const QString& path) {
    const QFileInfo info(path);
    const bool zipped = info.suffix().compare(QLatin1String("qgz"), Qt::CaseInsensitive) == 0;
    support::ReplacementFile::Naming naming;
    // Not hidden: QGIS names the project inside a .qgz after the start of
    // the file's name, up to its first dot, which must stay the original's.
    naming.hidden = false;
    naming.suffix = QFile::encodeName(QLatin1Char('.') + info.suffix());
    naming.spare = zipped ? 0 : kCompanionSpare;
    support::ReplacementFile file(path, naming);
    file.closeDescriptor();
    const QString temporary = file.temporaryFilePath();
    const QString temporaryBase =
        QFileInfo(temporary).absoluteDir().filePath(QFileInfo(temporary).completeBaseName());
    const QString originalBase = info.absoluteDir().filePath(info.completeBaseName());

    // Whatever QGIS writes beside the temporary project is scratch until it
    // follows the project into place.
    std::vector<Companion> companions;
    if (!zipped) {
        for (const char* companion : kCompanions) {
            companions.push_back(
                {support::ScratchFile(QFile::encodeName(temporaryBase + QLatin1String(companion))),
                 originalBase + QLatin1String(companion)});
        }
    }
    // QGIS keeps a copy of a .qgs it overwrites, here of the empty
    // temporary file: of no use.
    const support::ScratchFile backup(QFile::encodeName(temporary + QLatin1Char('~')));

    bool written = false;
    {
        FileNameKept kept(project, path);
        written = project.write(temporary);
    }
    if (!written) {
        throw support::Failure(support::error::kWriteFailed,
                               project.error().isEmpty() ? QStringLiteral("QGIS could not write it")
                                                         : project.error().trimmed());
    }
    // Read back: a writer that missed a failed write can leave the project
    // cut short, also inside a well-formed archive.
    int projects = 0;
    const auto projectInside = [&](const QString& name, const QByteArray& content) {
        if (!name.endsWith(QLatin1String(".qgs"), Qt::CaseInsensitive)) {
            return QString();
        }
        ++projects;
        return support::xmlContentDamage(content, QStringLiteral("qgis"));
    };
    const QString damage = zipped ? support::zipDamage(temporary, projectInside)
                                  : support::xmlDamage(temporary, QStringLiteral("qgis"));
    if (!damage.isEmpty() || (zipped && projects == 0)) {
        throw support::Failure(support::error::kWriteFailed,
                               QStringLiteral("the project written was incomplete"));
    }
    for (Companion& companion : companions) {
        if (!QFileInfo::exists(QFile::decodeName(companion.written.path()))) {
            continue;
        }
        syncFile(companion.written.path(), companion.target);
        if (::rename(companion.written.path().constData(),
                     QFile::encodeName(companion.target).constData()) != 0) {
            throw support::Failure::fromErrno(errno, companion.target);
        }
        companion.written.keep();
    }
    file.commit();
    project.setDirty(false);
}

}  // namespace

void saveProjectFile(QgsProject& project) {
    const QString path = project.fileName();
    if (path.isEmpty()) {
        throw support::Failure(support::error::kFail,
                               QStringLiteral("The project has no file to be saved to."));
    }
    try {
        save(project, path);
    } catch (const support::Failure& e) {
        QString reason = e.description();
        if (reason.endsWith(QLatin1Char('.'))) {
            reason.chop(1);
        }
        throw support::Failure(
            e.number(), QStringLiteral("Cannot save the project to %1: %2.").arg(path, reason));
    }
}

}  // namespace bramlotte::qgishost
