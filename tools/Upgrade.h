#pragma once

#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

#include "Database.h"
#include "Schema.h"

namespace orvik::admin {

// One upgrade step takes a file from version `from` to `from + 1`. Steps run in order, all the
// steps of one file inside one transaction; the version stamp is written in the same
// transaction, so a file is either fully upgraded or not touched.
struct UpgradeStep {
    int from;
    QString description;
    // Adds lines to `actions` describing what it changed.
    std::function<void(store::Database&, const store::schema::File&, QStringList& actions)> apply;
};

// The ordered steps; step i goes from version i to i + 1, and the last one reaches
// schema::kVersion.
const QVector<UpgradeStep>& upgradeSteps();

struct FileUpgrade {
    QString fileName;
    int from = 0;
    int to = 0;
    QStringList actions;
};

// Brings every file of the folder up to schema::kVersion. A file already current is left
// alone (from == to); a file newer than this tool makes the whole folder refused before
// anything is changed.
QVector<FileUpgrade> upgradeFolder(const QString& dir);

}  // namespace orvik::admin
