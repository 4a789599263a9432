#include "ui/settings.h"

#include <array>

#include "report/failure.h"

namespace mv::ui {

namespace {

constexpr const char* kSection = "Marrowvale";

struct KeyRow {
    SettingKey key;
    const char* text;
    const char* fallback;  // the default when read
};

// Every key of the store. Text1's default (the desktop folder) is worked out
// by the window at the moment it reads the key.
constexpr std::array<KeyRow, 6> kKeys{{
    {SettingKey::Option1, "Option1", "1"},
    {SettingKey::Option2, "Option2", "0"},
    {SettingKey::Text1, "Text1", ""},
    {SettingKey::LastFolderDot, "LastFolderDot", ""},
    {SettingKey::LastFolder, "LastFolder", ""},
    {SettingKey::ShowAgain, "ShowAgain", "0"},
}};

const KeyRow& row(SettingKey key) {
    for (const KeyRow& r : kKeys) {
        if (r.key == key) return r;
    }
    return kKeys[0];
}

QString path(SettingKey key) {
    return QString::fromLatin1(kSection) + u'/' + QString::fromLatin1(row(key).text);
}

}  // namespace

bool readFlag(const QString& text, bool* ok) {
    const QString t = text.trimmed();
    *ok = true;
    if (t.compare(u"True", Qt::CaseInsensitive) == 0) return true;
    if (t.compare(u"False", Qt::CaseInsensitive) == 0) return false;
    const double number = t.toDouble(ok);
    return *ok && number != 0.0;
}

Settings::Settings(const QString& iniPath)
    : Settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

Settings::Settings(std::unique_ptr<QSettings> store) : m_store(std::move(store)) {}

std::unique_ptr<Settings> Settings::forUser() {
    return std::unique_ptr<Settings>(new Settings(
        std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                    QStringLiteral("Quillfen"), QStringLiteral("Quillfen"))));
}

QString Settings::keyText(SettingKey key) {
    return QString::fromLatin1(row(key).text);
}

QString Settings::defaultText(SettingKey key) {
    return QString::fromLatin1(row(key).fallback);
}

QString Settings::text(SettingKey key, const QString& fallback) const {
    return m_store->value(path(key), fallback).toString();
}

bool Settings::flag(SettingKey key) const {
    bool ok = false;
    const QString stored = text(key);
    const bool value = readFlag(stored, &ok);
    if (!ok) {
        throw report::Failure(report::FailureKind::InvalidArgument,
                              keyText(key).toStdString() + " = " + stored.toStdString());
    }
    return value;
}

void Settings::setText(SettingKey key, const QString& value) {
    m_store->setValue(path(key), value);
    m_store->sync();
    if (m_store->status() != QSettings::NoError && !m_failureTold && m_writeFailure) {
        m_failureTold = true;
        m_writeFailure();
    }
}

void Settings::setFlag(SettingKey key, bool value) {
    setText(key, value ? QStringLiteral("True") : QStringLiteral("False"));
}

}  // namespace mv::ui
