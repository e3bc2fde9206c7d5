#pragma once

#include "settings.h"

#include <QLatin1StringView>
#include <QStringList>

#include <span>

// The one list of stored settings: the key of each in "KorvanTim.xml", in the file's order,
// with the member it fills and the control that shows it.
struct SettingKey
{
    enum class Kind {
        Text,       // text field
        Secret,     // masked text field
        Choice,     // combo box with free text
        Check,      // check box
        Number,     // numeric field, stored as an 80-bit extended value
        Attributes, // ADO_Attributes: two flags, no control
        Lines,      // multi-line text, stored as Item0... and Count
    };
    enum class Tab { Instellingen, Parameters, Vraagteken, Est, None };

    QLatin1StringView key;
    Kind kind;
    Tab tab;
    QLatin1StringView label;
    QLatin1StringView hint = {};
    QLatin1StringView group = {};

    // Exactly one of these is set, by kind.
    QString Settings::*text = nullptr;
    bool Settings::*check = nullptr;
    double Settings::*number = nullptr;
    QStringList Settings::*lines = nullptr;
};

// The 45 stored keys of the earlier program, then the keys this one added, in file order.
std::span<const SettingKey> settingKeys();

// The items a choice offers (`RamID`, `xDatabaseType`); empty for the other keys.
QStringList settingChoices(const SettingKey &key);
