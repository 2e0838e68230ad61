#include "updatefilesource.h"

#include "builtinupdatefiles.h"
#include "modetextlink.h"
#include "updatefilecheck.h"
#include "updatetext.h"
#include "updateverdicttext.h"

#include <QAbstractButton>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>

namespace {

// Link targets of the mode texts: each names the mode its link switches to.
const char* const kAlternativeFileLink = "alternative-update-file";
const char* const kBuiltInFilesLink = "default-update-file";

} // namespace

UpdateFileSource::UpdateFileSource(const Widgets& widgets)
    : m_widgets(widgets), m_builtInFilesInstalled(marlune::hasBuiltInUpdateFiles())
{
    m_builtInModeText = ModeTextLink::richText(tr("Built-in firmware update files loaded. Load "),
                                               QString::fromLatin1(kAlternativeFileLink), tr("alternative"),
                                               tr(" update file."));
    // Without built-in files the window keeps to a loaded file, and nothing offers them.
    m_alternativeModeText =
        m_builtInFilesInstalled
            ? ModeTextLink::richText(tr("Load the "), QString::fromLatin1(kBuiltInFilesLink), tr("built-in"),
                                     tr(" firmware updates."))
            : tr("No built-in firmware update files are installed.");
    new ModeTextLink(m_widgets.modeText);
    m_widgets.loadedInfo->setEnabled(false);
}

std::optional<bool> UpdateFileSource::alternativeModeOfLink(const QString& link)
{
    if (link == QLatin1String(kBuiltInFilesLink)) {
        return false;
    }
    if (link == QLatin1String(kAlternativeFileLink)) {
        return true;
    }
    return std::nullopt;
}

void UpdateFileSource::setAlternativeFileMode(bool on)
{
    m_alternativeFileMode = on;
    m_widgets.load->setVisible(on);
    m_widgets.loadedFileName->setVisible(on);
    m_widgets.modeText->setText(on ? m_alternativeModeText : m_builtInModeText);
    m_widgets.builtInInfo->setVisible(!on);
    m_widgets.loadedInfo->setVisible(on);
}

void UpdateFileSource::chooseFile(QWidget* window)
{
    const QString startDirectory = m_loadedFile ? *m_loadedFile : QDir::homePath();
    const QString chosenPath = QFileDialog::getOpenFileName(window, tr("Open a Marlune Update File"),
                                                            startDirectory, tr("ML2 fles (*.ml2)"));
    useFile(chosenPath);
}

bool UpdateFileSource::useFile(const QString& path)
{
    const bool exists = QFileInfo::exists(path);
    if (exists) {
        m_loadedFile = path;
    }
    m_widgets.loadedInfo->setEnabled(m_loadedFile.has_value());
    showLoadedFile();
    return exists;
}

// The file's name, marked when no trusted key signed it; who signed it in the tool tip.
void UpdateFileSource::showLoadedFile()
{
    if (!m_loadedFile) {
        m_widgets.loadedFileName->clear();
        m_widgets.loadedFileName->setToolTip(QString());
        return;
    }
    const UpdateFileSignatureVerdict signature = UpdateFileCheck::checkFile(*m_loadedFile).signature;
    const QString name = QFileInfo(*m_loadedFile).fileName();
    m_widgets.loadedFileName->setText(signature.trusted()   ? name
                                      : signature.refused() ? tr("%1 (refused)").arg(name)
                                                            : tr("%1 (unsigned)").arg(name));
    m_widgets.loadedFileName->setToolTip(UpdateText::sentence(UpdateText::signature(signature)));
}

QString UpdateFileSource::fileFor(const MLPDeviceInfoNode& unit) const
{
    return fileFor(unit, catalogue());
}

QHash<QString, QString> UpdateFileSource::catalogue() const
{
    return m_alternativeFileMode ? QHash<QString, QString>() : marlune::builtInUpdateFilesByModel();
}

QString UpdateFileSource::fileFor(const MLPDeviceInfoNode& unit, const QHash<QString, QString>& builtIn) const
{
    if (m_alternativeFileMode) {
        return m_loadedFile.value_or(QString());
    }
    return builtIn.value(unit.model);
}

QList<UnitUpdateFile> UpdateFileSource::check(const QList<MLPDeviceInfoNode>& units) const
{
    const QHash<QString, QString> builtIn = catalogue();
    // Each file read once: the units that share it are written from the same bytes.
    QHash<QString, UpdateImage> images;
    QList<UnitUpdateFile> checked;
    for (const MLPDeviceInfoNode& unit : units) {
        const QString path = fileFor(unit, builtIn);
        if (!path.isEmpty() && !images.contains(path)) {
            images.insert(path, UpdateImage::read(path));
        }
        UnitUpdateFile entry{unit, images.value(path), {}, {}};
        entry.verdict = path.isEmpty()
                            ? UpdateFileCheck::check(QString(), unit.model, unit.hwVersion)
                            : UpdateFileCheck::check(entry.image.check(), unit.model, unit.hwVersion);
        if (!entry.fits()) {
            entry.reason = UpdateVerdictText::toolTip(entry.verdict, unit.fwVersion, noFileText());
        }
        checked << entry;
    }
    return checked;
}

UnitUpdateFile UpdateFileSource::check(const MLPDeviceInfoNode& unit) const
{
    return check(QList<MLPDeviceInfoNode>{unit}).first();
}

QString UpdateFileSource::noFileText() const
{
    return m_alternativeFileMode ? tr("No update file has been loaded.")
                                 : tr("There is no built-in update file for this device model.");
}
