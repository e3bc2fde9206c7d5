#include "settingcontrols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace Qt::Literals::StringLiterals;

const SettingKey &companyNumberKey()
{
    static const SettingKey key = [] {
        SettingKey k { "Bedrijfsnummer"_L1, SettingKey::Kind::Text, SettingKey::Tab::Instellingen, "Bedrijfsnummer"_L1 };
        k.text = &Settings::Bedrijfsnummer;
        return k;
    }();
    return key;
}

QWidget *createSettingControl(const SettingKey &key, Settings &settings, QWidget *parent)
{
    using Kind = SettingKey::Kind;
    QWidget *control = nullptr;
    switch (key.kind) {
    case Kind::Text:
    case Kind::Secret: {
        auto *edit = new QLineEdit(settings.*key.text, parent);
        if (key.kind == Kind::Secret)
            edit->setEchoMode(QLineEdit::Password);
        QObject::connect(edit, &QLineEdit::textChanged, edit, [&settings, m = key.text](const QString &t) { settings.*m = t; });
        control = edit;
        break;
    }
    case Kind::Choice: {
        auto *combo = new QComboBox(parent);
        combo->setEditable(true);
        // A typed value is the setting itself, not a new item for the list.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems(settingChoices(key));
        const QString value = settings.*key.text;
        combo->setCurrentIndex(combo->findText(value));
        combo->setEditText(value);
        QObject::connect(combo, &QComboBox::currentTextChanged, combo,
                         [&settings, m = key.text](const QString &t) { settings.*m = t; });
        control = combo;
        break;
    }
    case Kind::Check: {
        auto *box = new QCheckBox(QString(key.label), parent);
        box->setChecked(settings.*key.check);
        QObject::connect(box, &QCheckBox::toggled, box, [&settings, m = key.check](bool on) { settings.*m = on; });
        control = box;
        break;
    }
    case Kind::Number: {
        auto *spin = new QDoubleSpinBox(parent);
        // Minutes; two decimals so that a stored fraction shows as it is.
        spin->setDecimals(2);
        spin->setRange(0, 99999);
        spin->setSingleStep(1);
        spin->setValue(settings.*key.number);
        QObject::connect(spin, &QDoubleSpinBox::valueChanged, spin, [&settings, m = key.number](double v) { settings.*m = v; });
        control = spin;
        break;
    }
    case Kind::Lines: {
        auto *memo = new QPlainTextEdit(parent);
        memo->setPlainText((settings.*key.lines).join(u'\n'));
        QObject::connect(memo, &QPlainTextEdit::textChanged, memo, [&settings, m = key.lines, memo] {
            const QString text = memo->toPlainText();
            settings.*m = text.isEmpty() ? QStringList() : text.split(u'\n');
        });
        control = memo;
        break;
    }
    case Kind::Attributes:
        return nullptr;
    }
    control->setObjectName(QString(key.key));
    if (!key.hint.isEmpty())
        control->setToolTip(QString(key.hint));
    return control;
}
