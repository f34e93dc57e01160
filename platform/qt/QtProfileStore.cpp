#include "platform/qt/QtProfileStore.h"

#include <QSettings>
#include <QString>

namespace platform {

namespace {
QString groupKey(const std::string& key) {
    return QStringLiteral("Zelkora/") + QString::fromStdString(key);
}
}  // namespace

QtProfileStore::QtProfileStore()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
                                            QStringLiteral("Chirova"), QStringLiteral("zelkora"))) {
}

QtProfileStore::QtProfileStore(const std::string& iniPath)
    : settings_(
          std::make_unique<QSettings>(QString::fromStdString(iniPath), QSettings::IniFormat)) {}

QtProfileStore::~QtProfileStore() = default;

std::optional<int32_t> QtProfileStore::readInt(const std::string& key) const {
    QVariant v = settings_->value(groupKey(key));
    if (!v.isValid()) return {};
    // Values are written as integers, but an INI file edited by hand holds text: accept any
    // decimal or 0x-prefixed number that fits 32 bits (colours use the full unsigned range).
    bool ok = false;
    QString text = v.toString().trimmed();
    qlonglong n = text.toLongLong(&ok, 0);
    if (!ok || n < INT32_MIN || n > static_cast<qlonglong>(UINT32_MAX)) return {};
    return static_cast<int32_t>(static_cast<uint32_t>(n));
}

std::optional<std::string> QtProfileStore::readString(const std::string& key) const {
    QVariant v = settings_->value(groupKey(key));
    if (!v.isValid()) return {};
    return v.toString().toStdString();
}

void QtProfileStore::writeInt(const std::string& key, int32_t value) {
    settings_->setValue(groupKey(key), value);
}

void QtProfileStore::writeString(const std::string& key, const std::string& value) {
    settings_->setValue(groupKey(key), QString::fromStdString(value));
}

void QtProfileStore::flush() {
    settings_->sync();
}

std::string QtProfileStore::fileName() const {
    return settings_->fileName().toStdString();
}

}  // namespace platform
