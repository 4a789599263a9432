// Dialogs for widget tests: every box is recorded, and the answers a person
// would give come from scripts filled in by the test.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

#include "ui/dialogs.h"

namespace mv::test {

struct ShownBox {
    QString kind;  // "message", "information", "warning", "question", "folder", "files",
                   // "error", "input", "count", "save"
    QString title;
    QString text;
};

class FakeDialogs : public ui::Dialogs {
public:
    QList<ShownBox> shown;
    QStringList folderAnswers;  // one per folder dialog; none left means cancel
    QList<bool> questionAnswers;
    QList<QStringList> fileAnswers;
    QStringList inputAnswers;     // one per input box; none left means cancel
    QStringList inputPresets;     // the preset each input box was given
    QStringList folderStarts;     // the start folder each folder dialog was given
    QList<bool> quietAnswers;     // ticks of the error box's check box, while it is offered
    int quietOffers = 0;          // error boxes that offered the check box
    QList<bool> saveListAnswers;  // one per count box: true chooses "Save List…"
    QStringList saveFileAnswers;  // one per save dialog; none left means cancel
    QStringList countDetails;     // the detailed text of each count box
    // Runs while a message box is open, as a person would act then.
    std::function<void(const QString&)> onMessage;

    void message(QWidget*, const QString& title, const QString& text,
                 ui::BoxIcon icon = ui::BoxIcon::None) override {
        const QString kind = icon == ui::BoxIcon::Information ? QStringLiteral("information")
                             : icon == ui::BoxIcon::Warning   ? QStringLiteral("warning")
                                                              : QStringLiteral("message");
        shown.append({kind, title, text});
        if (onMessage) onMessage(text);
    }
    bool question(QWidget*, const QString& title, const QString& text) override {
        shown.append({QStringLiteral("question"), title, text});
        return !questionAnswers.isEmpty() && questionAnswers.takeFirst();
    }
    QString chooseFolder(QWidget*, const QString& prompt, const QString& start) override {
        shown.append({QStringLiteral("folder"), prompt, start});
        folderStarts.append(start);
        return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
    }
    QStringList chooseFiles(QWidget*, const QString& title, const QString& folder,
                            const QString&) override {
        shown.append({QStringLiteral("files"), title, folder});
        return fileAnswers.isEmpty() ? QStringList() : fileAnswers.takeFirst();
    }
    bool errorReport(QWidget*, const QString& text, bool offerQuiet = false) override {
        shown.append({QStringLiteral("error"), QStringLiteral("Application Error"), text});
        if (!offerQuiet) return false;
        ++quietOffers;
        return !quietAnswers.isEmpty() && quietAnswers.takeFirst();
    }
    QString input(QWidget*, const QString& title, const QString& prompt,
                  const QString& preset) override {
        shown.append({QStringLiteral("input"), title, prompt});
        inputPresets.append(preset);
        return inputAnswers.isEmpty() ? QString() : inputAnswers.takeFirst();
    }

    bool reportCount(QWidget*, const QString& text, const QString& details) override {
        shown.append({QStringLiteral("count"), QStringLiteral("Application Error"), text});
        countDetails.append(details);
        return !saveListAnswers.isEmpty() && saveListAnswers.takeFirst();
    }
    QString chooseSaveFile(QWidget*, const QString& title, const QString& start) override {
        shown.append({QStringLiteral("save"), title, start});
        return saveFileAnswers.isEmpty() ? QString() : saveFileAnswers.takeFirst();
    }

    // "kind:text" of every box, in order, for one-line comparisons.
    QStringList summary() const {
        QStringList out;
        for (const ShownBox& box : shown) out.append(box.kind + u':' + box.text);
        return out;
    }
};

}  // namespace mv::test
