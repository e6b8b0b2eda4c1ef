#include "FsFixture.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include "WizardDriver.h"
#include "ui/VolumeScanDlg.h"

std::vector<FsFixture> FsFixture::all() {
    static QTemporaryDir folder;
    static std::vector<FsFixture> found;
    static bool loaded = false;
    if (loaded) return found;
    loaded = true;
    const QString root = QStringLiteral(QUARVELL_SOURCE_DIR "/tests/fixtures/");
    for (const quarvell::FileSystemKind& kind : quarvell::fileSystemKinds()) {
        QDir dir(root + QString::fromStdString(kind.id));
        for (const QString& file : dir.entryList({QStringLiteral("*.manifest.json")}, QDir::Files, QDir::Name)) {
            QFile manifest(dir.filePath(file));
            if (!manifest.open(QIODevice::ReadOnly)) continue;
            const QJsonObject json = QJsonDocument::fromJson(manifest.readAll()).object();
            const QString mode = json.value("mode").toString(QStringLiteral("standard"));
            if (mode == QLatin1String("advanced")) continue;  // the advanced road has its own page
            const QString base = file.left(file.size() - int(qstrlen(".manifest.json")));
            FsFixture f;
            f.kind = &kind;
            f.name = kind.id + "/" + base.toStdString();
            f.label = json.value("label").toString().toStdString();
            f.parseMode = mode == QLatin1String("deep") ? 3 : 1;
            for (const QJsonValue& v : json.value("entries").toArray()) {
                const QJsonObject e = v.toObject();
                f.entries.push_back({e.value("path").toString().toStdString(), e.value("folder").toBool(),
                                     e.value("deleted").toBool(), uint64_t(e.value("size").toInteger()),
                                     e.value("sha256").toString().toStdString()});
            }
            const QString image = folder.filePath(QString::fromStdString(kind.id) + "-" + base + ".img");
            QProcess xz;
            xz.setStandardOutputFile(image);
            xz.start(QStringLiteral("xz"), {QStringLiteral("-dc"), dir.filePath(base + ".img.xz")});
            if (!xz.waitForFinished(60000) || xz.exitCode() != 0) {
                ADD_FAILURE() << "could not unpack " << f.name;
                continue;
            }
            f.image = image.toStdString();
            found.push_back(std::move(f));
        }
    }
    return found;
}

quarvell::ui::VolumeScanDlg* openScanPage(WizardDriver& wizard, const FsFixture& fixture, bool startPaused,
                                         const std::string& label) {
    EXPECT_TRUE(wizard.state.openReader(fixture.image));
    quarvell::VolumeEntry volume;
    volume.fileSystem = label.empty() ? fixture.label : label;
    volume.displayName = fixture.image;
    volume.volumeName = fixture.image;
    volume.sectorCount = uint64_t(QFileInfo(QString::fromStdString(fixture.image)).size()) / 512;
    volume.sizeText = std::to_string(volume.sectorCount / 2048) + "  MB";
    auto* page = new quarvell::ui::VolumeScanDlg(wizard.state, &wizard.drivePage(), volume, fixture.parseMode);
    if (startPaused) page->pauseGate().pause();
    wizard.drivePage().goForward(page);
    return page;
}

bool waitUntilIdle(quarvell::ui::VolumeScanDlg* page, int ms) {
    return QTest::qWaitFor([page] { return !page->jobRunning() && !page->busy(); }, ms);
}

std::string sha256Of(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "(missing)";
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&f);
    return hash.result().toHex().toStdString();
}
