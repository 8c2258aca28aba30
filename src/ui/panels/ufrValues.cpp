#include "ufrValues.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <string>
#include <vector>

#include "uInputMarking.h"
#include "uValueHistory.h"

namespace tavrin {

TfrValues::TfrValues(QWidget* parent)
    : QWidget(parent), OwnModel(std::make_unique<TValueHistory>()), Model(*OwnModel) {
    Init();
}

TfrValues::TfrValues(TValueHistory& model, QWidget* parent) : QWidget(parent), Model(model) {
    Init();
}

TfrValues::~TfrValues() {
    Model.OnStateChange = nullptr;
}

void TfrValues::Init() {
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

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(cbVal);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    Refresh();
    Model.OnStateChange = [this] { Refresh(); };
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

void TfrValues::Refresh() {
    Quietly([&] {
        const std::vector<std::string>& entries = Model.Entries();
        if (cbVal->count() != static_cast<int>(entries.size())) {
            cbVal->clear();
            for (const std::string& entry : entries) {
                cbVal->addItem(QString::fromStdString(entry));
            }
        } else {
            for (int i = 0; i < cbVal->count(); ++i) {
                const QString entry = QString::fromStdString(entries[static_cast<size_t>(i)]);
                if (cbVal->itemText(i) != entry) {
                    cbVal->setItemText(i, entry);
                }
            }
        }
        if (cbVal->currentIndex() != Model.Current()) {
            cbVal->setCurrentIndex(Model.Current());
        }
        const QString text = QString::fromStdString(Model.Text());
        if (cbVal->currentText() != text) {
            cbVal->setEditText(text);
        }
        MarkInput(*cbVal->lineEdit(), Model.TextInForce());
    });
}

void TfrValues::cbValChange() {
    if (Applying) {
        return;
    }
    QLineEdit& edit = *cbVal->lineEdit();
    const int caret = edit.cursorPosition();
    if (Model.Apply(cbVal->currentText().toStdString(), cbVal->currentIndex())) {
        // Putting the entry back into the box moved the caret.
        Quietly([&] {
            edit.setCursorPosition(caret);
            edit.deselect();
        });
    }
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
        Model.RemoveEntry();
        // Passed on, the key would delete the last character of the entry now shown.
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        Model.AddEntry();
        // Passed on, Qt's box would switch to an entry whose text matches.
        return true;
    }
    return false;
}

float TfrValues::Value() const {
    return Model.Value();
}

const std::string& TfrValues::SectionName() const {
    return Model.SectionName();
}

void TfrValues::SetSectionName(std::string sectionName) {
    Model.SetSectionName(std::move(sectionName));
}

void TfrValues::SetValue(float x) {
    Model.SetValue(x);
}

void TfrValues::LoadSettings(const TSettingsFile& settings) {
    Model.LoadSettings(settings);
}

void TfrValues::SaveSettings(TSettingsFile& settings) const {
    Model.SaveSettings(settings);
}

}  // namespace tavrin
