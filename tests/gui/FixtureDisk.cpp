#include "FixtureDisk.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

FixtureDisk FixtureDisk::load(const QString& name) {
    static QTemporaryDir folder;
    static std::map<QString, FixtureDisk> loaded;
    if (auto it = loaded.find(name); it != loaded.end()) return it->second;

    const QString base = QStringLiteral(QUARVELL_SOURCE_DIR "/tests/fixtures/partition/") + name;
    FixtureDisk disk;
    QFile manifest(base + ".json");
    if (!manifest.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "missing fixture manifest " << base.toStdString() << ".json";
        return disk;
    }
    disk.manifest = QJsonDocument::fromJson(manifest.readAll()).object();

    const QString image = folder.filePath(name + ".img");
    QProcess xz;
    xz.setStandardOutputFile(image);
    xz.start(QStringLiteral("xz"), {QStringLiteral("-dc"), base + ".img.xz"});
    if (!xz.waitForFinished(30000) || xz.exitCode() != 0) {
        ADD_FAILURE() << "could not unpack " << base.toStdString() << ".img.xz";
        return disk;
    }
    disk.path = image.toStdString();
    loaded[name] = disk;
    return disk;
}
