// SPDX-License-Identifier: MIT
#include "model/TrayIconPreference.h"

#include "model/Preferences.h"

using namespace Qt::StringLiterals;

namespace tallyvue {

QString rawValue(TrayIconPercent choice)
{
    switch (choice) {
    case TrayIconPercent::Automatic: return u"automatic"_s;
    case TrayIconPercent::Always: return u"always"_s;
    case TrayIconPercent::Never: return u"never"_s;
    }
    return u"automatic"_s;
}

std::optional<TrayIconPercent> trayIconPercentFromRaw(QStringView raw)
{
    for (TrayIconPercent choice : {TrayIconPercent::Automatic, TrayIconPercent::Always, TrayIconPercent::Never}) {
        if (raw == rawValue(choice))
            return choice;
    }
    return std::nullopt;
}

TrayIconPercent trayIconShowsPercent()
{
    const QString stored = Preferences::instance().value(kTrayIconShowsPercentKey.toString()).toString();
    return trayIconPercentFromRaw(stored).value_or(TrayIconPercent::Automatic);
}

void setTrayIconShowsPercent(TrayIconPercent choice)
{
    Preferences::instance().setValue(kTrayIconShowsPercentKey.toString(), rawValue(choice));
}

} // namespace tallyvue
