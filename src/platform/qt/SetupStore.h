// The remembered setup in an INI file in the user's config folder
// ($XDG_CONFIG_HOME/rostrel/rostrel.conf, usually ~/.config/rostrel/rostrel.conf).
#pragma once

#include "platform/SetupStore.h"

namespace rostrel {

class SettingsSetupStore : public SetupStore {
public:
    explicit SettingsSetupStore(QString file = defaultFile());
    RememberedSetup load() const override;
    void save(const RememberedSetup& setup) override;
    const QString& file() const { return file_; }

    // Read at each call, so XDG_CONFIG_HOME set late still counts.
    static QString defaultFile();

private:
    QString file_;
};

} // namespace rostrel
