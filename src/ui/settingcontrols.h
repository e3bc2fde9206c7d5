#pragma once

#include "config/settingkeys.h"

#include <QStringList>

class QWidget;

// Creates the control that shows one setting: its value from `settings`, its hint, and the
// key as its object name. Every edit is written into `settings` at once, so the core and the
// configuration document always see what the operator sees. Null for a key without a control.
QWidget *createSettingControl(const SettingKey &key, Settings &settings, QWidget *parent);

// The one setting with a control that is not stored: `Bedrijfsnummer`.
const SettingKey &companyNumberKey();
