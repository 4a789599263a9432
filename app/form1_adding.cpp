// The window's ways of filling the list by button: the open dialog, the
// folder scan and the sample files. Drops are the list's own (list_drop.h).

#include <QCoreApplication>
#include <QFileInfo>

#include "app/add_files.h"
#include "app/form1.h"
#include "filelist/file_list.h"
#include "filelist/folder_browser.h"
#include "paths/paths.h"
#include "report/locations.h"
#include "report/step_runner.h"
#include "ui/qt_text.h"
#include "walk/folder_scan.h"

namespace mv::app {

void Form1::PushButton8_Click() {
    report::StepRunner step(m_report, report::locations::kPushButton8Click);
    // (104 to 110) The dialog's name, options, title and filter are the
    // arguments of the call; it opens where it last was.
    QStringList picked;
    bool tooMany = false;
    step(112, [&] {
        picked = m_dialogs.chooseFiles(this, addFilesTitle(), QString(), xmlFilesFilter());
        tooMany = pickedResultLength(picked) > kPickedResultLimit;
    });
    if (tooMany) {
        // The pick does not fit the dialog's result: none of it is added.
        m_dialogs.message(this, m_appTitle, tooManyFilesMessage());
        return;
    }
    if (step.test(114, [&] { return picked.isEmpty(); })) return;
    if (step.test(118, [&] { return picked.size() == 1; })) {
        QString path;
        step(120, [&] { path = picked.value(0); });
        if (!step.test(122, [&] { return HasBadFileName(path); })) {
            step(124, [&] { m_listView1->append(path); });
        } else {
            step(126, [&] { m_dialogs.message(this, m_appTitle, refusedFileMessage(path)); });
        }
        return;
    }
    for (const QString& pick : picked) {  // (130 to 138), (150)
        QString path;
        step(140, [&] {
            const QFileInfo info(pick);
            path = info.path() + QChar(paths::kNativeSeparator) + info.fileName();
        });
        // (142) A pick in the root folder would otherwise begin with "//".
        step(142, [&] { path = ui::toQString(paths::CollapseBackslashes(ui::toU16(path))); });
        if (!step.test(144, [&] { return HasBadFileName(path); })) {
            step(146, [&] { m_listView1->append(path); });
        } else {
            step(148, [&] { m_dialogs.message(this, m_appTitle, refusedFileMessage(path)); });
        }
    }
}

void Form1::PushButton9_Click() {
    report::StepRunner step(m_report, report::locations::kPushButton9Click);
    QString extension;
    QString folder;
    step(100, [&] { extension = QStringLiteral("xml"); });
    step(104, [&] {
        const QString start = m_settings.text(ui::SettingKey::LastFolder);
        folder = filelist::BrowseForFolder(m_dialogs, this, QStringLiteral("Please select folder:"),
                                           start);
    });
    if (step.test(106, [&] { return folder.isEmpty(); })) return;
    QString lastFolder;
    step(333, [&] { lastFolder = folder; });
    step(334, [&] { m_settings.setText(ui::SettingKey::LastFolder, lastFolder); });
    runLongWork([&] {
        step(112, [&] { setPointer(run::Pointer::Hourglass); });
        // (114 to 134) The walk and the listing of every folder it finds; the
        // scan reports its own steps under this handler's location.
        walk::ScanFolderTree(
            ui::toU16(folder), ui::toU16(QStringLiteral("*.") + extension),
            [this](const std::u16string& path) { m_listView1->append(ui::toQString(path)); },
            [] { QCoreApplication::processEvents(); }, m_report);
        step(136, [&] { setPointer(run::Pointer::Default); });
    });
}

void Form1::PushButton5_Click() {
    report::StepRunner step(m_report, report::locations::kPushButton5Click);
    step(100, [&] {
        LoadSampleFiles(*m_listView1, m_folder.file(QStringLiteral("Samples")), m_dialogs, this,
                        m_appTitle, m_openFolder);
    });
}

}  // namespace mv::app
