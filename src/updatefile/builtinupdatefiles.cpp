#include "builtinupdatefiles.h"

#include "mlu2file.h"

#include <QDir>

namespace marlune {

namespace {

const char kUpdateFilePattern[] = "*.ml2";

} // namespace

QString builtInUpdateFilesDirectory()
{
    return QStringLiteral(":/firmwares");
}

QString joinPath(const QString& directory, const QString& fileName)
{
    return QDir::cleanPath(directory + QDir::separator() + fileName);
}

QStringList builtInUpdateFiles()
{
    return updateFilesIn(builtInUpdateFilesDirectory());
}

QString updateFileModel(const QString& path)
{
    MLU2File file(path);
    file.open();
    const QString model = file.modelName();
    file.close();
    return model;
}

QHash<QString, QString> builtInUpdateFilesByModel()
{
    return updateFilesByModelIn(builtInUpdateFilesDirectory());
}

bool hasBuiltInUpdateFiles()
{
    return !builtInUpdateFilesByModel().isEmpty();
}

QStringList updateFilesIn(const QString& directory)
{
    // QDir's defaults: every kind of entry, sorted by name ignoring case.
    QDir folder(directory);
    folder.setNameFilters({QLatin1String(kUpdateFilePattern)});
    QStringList paths;
    for (const QString& name : folder.entryList()) {
        paths.append(joinPath(directory, name));
    }
    return paths;
}

QHash<QString, QString> updateFilesByModelIn(const QString& directory)
{
    QHash<QString, QString> pathsByModel;
    for (const QString& path : updateFilesIn(directory)) {
        const QString model = updateFileModel(path);
        if (!model.isEmpty()) {
            pathsByModel.insert(model, path);
        }
    }
    return pathsByModel;
}

} // namespace marlune
