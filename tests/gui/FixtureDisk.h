#pragma once
// The partition fixture disks made by tests/fixtures/make_partition_fixtures.sh: unpacked once per
// test run into a temporary folder, with the rows their manifests expect.
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <string>

struct FixtureDisk {
    std::string path;    // the unpacked image
    QJsonObject manifest;

    // name: "gpt", "mbr-extended", ... Fails the calling test when the fixture is missing.
    static FixtureDisk load(const QString& name);
    QJsonArray rows(const QString& list) const { return manifest.value(list).toArray(); }
};
