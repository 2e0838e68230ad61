#pragma once

#include "mlpdeviceinfonode.h"
#include "unitupdatefile.h"

#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QString>

#include <optional>

class QAbstractButton;
class QLabel;
class QWidget;

// Which update file the window writes to a unit, and the row of widgets that chooses it: the
// mode text with its link, the load button, the loaded file's name and the two information
// buttons. Either the built-in file of the unit's model or the one file the user loaded.
class UpdateFileSource
{
    Q_DECLARE_TR_FUNCTIONS(UpdateFileSource)

public:
    struct Widgets
    {
        QLabel* modeText;
        QAbstractButton* load;
        QLabel* loadedFileName;
        QAbstractButton* builtInInfo;
        QAbstractButton* loadedInfo;
    };

    // Whether the mode text's link switches to the loaded-file mode (true) or to the
    // built-in files (false); empty for a link of neither.
    static std::optional<bool> alternativeModeOfLink(const QString& link);

    // Whether any built-in file is installed is asked once; which file fits a model is
    // read afresh for every check.
    explicit UpdateFileSource(const Widgets& widgets);

    bool alternativeFileMode() const { return m_alternativeFileMode; }
    bool builtInFilesInstalled() const { return m_builtInFilesInstalled; }
    void setAlternativeFileMode(bool on);

    // Asks the user for an update file; a cancelled choice keeps the file loaded before.
    void chooseFile(QWidget* window);
    // Takes `path` as the loaded file, as the choice does; false, keeping the file loaded
    // before, when there is no such file.
    bool useFile(const QString& path);
    std::optional<QString> loadedFile() const { return m_loadedFile; }

    // The file the mode gives the unit; empty when there is none.
    QString fileFor(const MLPDeviceInfoNode& unit) const;
    // The shared check's verdict for each unit, each file read once.
    QList<UnitUpdateFile> check(const QList<MLPDeviceInfoNode>& units) const;
    UnitUpdateFile check(const MLPDeviceInfoNode& unit) const;

private:
    // The built-in files by model in the built-in mode, read afresh; none in the other.
    QHash<QString, QString> catalogue() const;
    QString fileFor(const MLPDeviceInfoNode& unit, const QHash<QString, QString>& builtIn) const;
    void showLoadedFile();
    // What is missing when the mode gives a unit no file.
    QString noFileText() const;

    Widgets m_widgets;
    bool m_builtInFilesInstalled;
    bool m_alternativeFileMode = false;
    std::optional<QString> m_loadedFile;
    QString m_builtInModeText;
    QString m_alternativeModeText;
};
