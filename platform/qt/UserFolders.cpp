#include <QDir>
#include <QStandardPaths>
#include <cstdlib>

#include "platform/UserFolders.h"

namespace platform {

std::string documentsFolder() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (dir.isEmpty()) dir = QDir::homePath() + QStringLiteral("/Documents");
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/'))) dir.chop(1);
    return dir.toStdString();
}

std::vector<StorageVolume> removableVolumes() {
    std::vector<StorageVolume> volumes;
    const char* user = std::getenv("USER");
    QString name = user ? QString::fromLocal8Bit(user) : QString();
    QStringList bases;
    if (!name.isEmpty()) {
        bases << QStringLiteral("/media/") + name << QStringLiteral("/run/media/") + name;
    }
    for (const QString& base : bases) {
        QDir dir(base);
        if (!dir.exists()) continue;
        const auto entries = dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QFileInfo& e : entries) {
            volumes.push_back({e.fileName().toStdString(), e.absoluteFilePath().toStdString()});
        }
    }
    return volumes;
}

}  // namespace platform
