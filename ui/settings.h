/* The settings store: a few texts kept per user between runs of the program.

   Every key lives in one table (settings.cpp) with its text and default;
   set() writes through at once, so nothing needs saving when the window
   closes. The program uses the per-user INI file of "Quillfen", tests an INI
   file in a temporary folder. Values are texts; yes-or-no values are the
   words True and False. */
#pragma once

#include <QSettings>
#include <QString>
#include <functional>
#include <memory>

namespace mv::ui {

enum class SettingKey { Option1, Option2, Text1, LastFolderDot, LastFolder, ShowAgain };

class Settings {
public:
    // The INI file at `iniPath`; a test's own store.
    explicit Settings(const QString& iniPath);
    // The per-user store: ~/.config/Quillfen/Quillfen.ini, section [Marrowvale].
    static std::unique_ptr<Settings> forUser();

    // The key's text as the store spells it, e.g. "LastFolderDot".
    static QString keyText(SettingKey key);
    // The default of the key's table row ("1", "0" or empty; Text1 has none).
    static QString defaultText(SettingKey key);

    // The stored text, or `fallback` when the key was never stored.
    QString text(SettingKey key, const QString& fallback) const;
    QString text(SettingKey key) const { return text(key, defaultText(key)); }
    // A yes-or-no value: True or any nonzero number is yes, False or 0 is no.
    // Throws the invalid-argument failure for a text that is neither.
    bool flag(SettingKey key) const;

    void setText(SettingKey key, const QString& value);
    void setFlag(SettingKey key, bool value);

    QString fileName() const { return m_store->fileName(); }
    // Called the first time a value cannot be written to the file (read-only,
    // or owned by another user); later failures stay quiet.
    void setWriteFailure(std::function<void()> told) { m_writeFailure = std::move(told); }

private:
    explicit Settings(std::unique_ptr<QSettings> store);
    std::unique_ptr<QSettings> m_store;
    std::function<void()> m_writeFailure;
    bool m_failureTold = false;
};

// The yes-or-no reading of a stored text; `ok` is false when the text is
// neither True, False nor a number.
bool readFlag(const QString& text, bool* ok);

}  // namespace mv::ui
