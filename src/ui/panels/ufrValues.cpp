#include "ufrValues.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "uInputMarking.h"
#include "uNumberText.h"
#include "uSettingsFile.h"

namespace tavrin {
namespace {

// A stored count above this is not a list anybody typed: reading that many keys, each a file
// access, would hang the start-up.
constexpr int32_t kMaxStoredEntries = 10000;

std::string ValueKey(int32_t index) {
    return "Value" + FormatIniInt(index);
}

}  // namespace

TfrValues::TfrValues(QWidget* parent) : QWidget(parent) {
    cbVal = new QComboBox(this);
    cbVal->setObjectName(QStringLiteral("cbVal"));
    cbVal->setEditable(true);
    // The list changes only through Enter and Backspace below; Qt's own insertion and
    // completion would add entries and rewrite the text under the user's hands.
    cbVal->setInsertPolicy(QComboBox::NoInsert);
    cbVal->setCompleter(nullptr);
    cbVal->setDuplicatesEnabled(true);
    cbVal->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbVal->setMinimumContentsLength(4);
    cbVal->addItem(QStringLiteral("0"));
    cbVal->setCurrentIndex(0);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(cbVal);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    cbVal->installEventFilter(this);
    cbVal->lineEdit()->installEventFilter(this);
    connect(cbVal, &QComboBox::editTextChanged, this, [this] { cbValChange(); });
    connect(cbVal, &QComboBox::currentIndexChanged, this, [this] { cbValChange(); });
}

template <typename Change>
void TfrValues::Quietly(Change change) {
    const bool wasApplying = Applying;
    Applying = true;
    change();
    Applying = wasApplying;
}

void TfrValues::cbValChange() {
    if (Applying) {
        return;
    }
    QLineEdit& edit = *cbVal->lineEdit();
    const std::string stripped(TrimBlanks(cbVal->currentText().toStdString()));
    const int caret = edit.cursorPosition();
    if (cbVal->currentIndex() >= 0) {
        EntryIndex = cbVal->currentIndex();
    }
    // After a load that selected nothing, the remembered index may lie beyond the new list.
    EntryIndex = std::clamp(EntryIndex, 0, std::max(0, cbVal->count() - 1));

    const std::optional<double> number = ParseTypedNumber(stripped);
    const bool accepted = number && std::fabs(*number) <= std::numeric_limits<float>::max();
    MarkInput(edit, accepted);
    if (!accepted) {
        return;
    }
    const QString entry = QString::fromStdString(stripped);
    Quietly([&] {
        cbVal->setItemText(EntryIndex, entry);
        cbVal->setCurrentIndex(EntryIndex);
        if (cbVal->currentText() != entry) {
            cbVal->setEditText(entry);
        }
        edit.setCursorPosition(caret);
        edit.deselect();
    });
    ValueField = static_cast<float>(*number);
}

bool TfrValues::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        return cbValKeyDown(static_cast<QKeyEvent*>(event)->key());
    }
    return QWidget::eventFilter(watched, event);
}

bool TfrValues::cbValKeyDown(int key) {
    if (key == Qt::Key_Backspace) {
        if (cbVal->count() <= 1 || !cbVal->currentText().isEmpty()) {
            return false;
        }
        MarkInput(*cbVal->lineEdit(), true);
        Quietly([&] {
            cbVal->removeItem(EntryIndex);
            if (EntryIndex > 0) {
                --EntryIndex;
            }
            cbVal->setCurrentIndex(EntryIndex);
            cbVal->setEditText(cbVal->itemText(EntryIndex));
        });
        cbValChange();
        // Passed on, the key would delete the last character of the entry now shown.
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        Quietly([&] {
            ++EntryIndex;
            cbVal->insertItem(EntryIndex, QString());
            cbVal->setCurrentIndex(EntryIndex);
            cbVal->setEditText(QString());
        });
        // Passed on, Qt's box would switch to an entry whose text matches.
        return true;
    }
    return false;
}

void TfrValues::SetValue(float x) {
    Quietly([&] { cbVal->setEditText(QString::fromStdString(FormatValueBoxNumber(x))); });
    cbValChange();
}

void TfrValues::LoadSettings(const TSettingsFile& settings) {
    const int32_t count = settings.ReadInt(Section, "Count", 0);
    if (count > 0 && count <= kMaxStoredEntries) {
        Quietly([&] {
            cbVal->clear();
            for (int32_t i = 0; i < count; ++i) {
                cbVal->addItem(
                    QString::fromStdString(settings.ReadText(Section, ValueKey(i), "0")));
            }
            const int32_t current = settings.ReadInt(Section, "CurrentIndex", 0);
            cbVal->setCurrentIndex(current >= 0 && current < count ? current : -1);
        });
    }
    cbValChange();
}

void TfrValues::SaveSettings(TSettingsFile& settings) const {
    settings.DropSection(Section);
    const int32_t count = cbVal->count();
    settings.WriteInt(Section, "Count", count);
    for (int32_t i = 0; i < count; ++i) {
        settings.WriteText(Section, ValueKey(i), cbVal->itemText(i).toStdString());
    }
    settings.WriteInt(Section, "CurrentIndex", std::max(0, cbVal->currentIndex()));
}

}  // namespace tavrin
