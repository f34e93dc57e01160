#include "platform/qt/OptionForms.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/AppSettings.h"
#include "app/DisplayOptionsDialog.h"
#include "app/FrequencyRangeDialog.h"
#include "app/RecordingOptionsDialog.h"
#include "platform/qt/ColourChooserDialog.h"
#include "platform/qt/ScreenFit.h"

namespace OptionForms {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// A dialog's title and its column of rows.
QVBoxLayout* begin(QDialog& dialog, const char* title) {
    dialog.setWindowTitle(title);
    return new QVBoxLayout(&dialog);
}

// OK (and Cancel) along the bottom, OK in the bottom-right corner.
QDialogButtonBox* addButtons(QDialog& dialog, QVBoxLayout* layout,
                             QDialogButtonBox::StandardButtons buttons = QDialogButtonBox::Ok |
                                                                         QDialogButtonBox::Cancel) {
    auto* box = new QDialogButtonBox(buttons, &dialog);
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addStretch(1);
    layout->addWidget(box, 0, Qt::AlignRight | Qt::AlignBottom);
    return box;
}

// A quick-pick button: as narrow as a finger allows, where the style's text buttons are
// 80 pixels at the least and a row of five ran off a panel turned upright.
QPushButton* pickButton(QDialog& dialog, int32_t value) {
    auto* b = new QPushButton(QString::number(value), &dialog);
    b->setAutoDefault(false);
    b->setMinimumWidth(std::max(platform::qt::fingerPixels(dialog.screen()),
                                b->fontMetrics().horizontalAdvance(b->text()) + 8));
    return b;
}

// Every field takes a whole number no less than 0: an on-screen keyboard shows its digits
// only, where it showed letters over half the screen.
void numberPad(QLineEdit* field) {
    field->setInputMethodHints(Qt::ImhDigitsOnly);
}

// A refused field: the message, then the field selected for another try.
void refuse(QWidget* parent, QLineEdit* field, const std::string& message) {
    QMessageBox::warning(parent, "Zelkora", q(message));
    field->setFocus();
    field->selectAll();
}

}  // namespace

bool EditFrequencyRange(QWidget* parent, int32_t& lowKHz, int32_t& highKHz) {
    FrequencyRangeDialog d(lowKHz, highKHz);
    QDialog dialog(parent);
    auto* layout = begin(dialog, "Frequency range");
    auto* grid = new QGridLayout;
    layout->addLayout(grid);
    auto* low = new QLineEdit(&dialog);
    auto* high = new QLineEdit(&dialog);
    for (QLineEdit* field : {low, high}) numberPad(field);
    grid->addWidget(new QLabel("Fmin", &dialog), 0, 0);
    grid->addWidget(low, 0, 1);
    grid->addWidget(new QLabel("Fmax", &dialog), 1, 0);
    grid->addWidget(high, 1, 1);
    auto refresh = [&] {
        low->setText(QString::number(d.low));
        high->setText(QString::number(d.high));
    };
    auto addPicks = [&](const char* title, const auto& values, int32_t& member) {
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(title, &dialog));
        for (int32_t v : values) {
            QPushButton* b = pickButton(dialog, v);
            QObject::connect(b, &QPushButton::clicked, &dialog, [&, v, &member = member] {
                member = v;
                refresh();
            });
            row->addWidget(b);
        }
        layout->addLayout(row);
    };
    addPicks("Min", FrequencyRangeDialog::kLowPicks, d.low);
    addPicks("Max", FrequencyRangeDialog::kHighPicks, d.high);
    QDialogButtonBox* box = addButtons(dialog, layout);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, [&] {
        if (auto r = d.Ok(low->text().toStdString(), high->text().toStdString())) {
            refuse(&dialog, r->field == FrequencyRangeDialog::Field::Low ? low : high, r->message);
            return;
        }
        dialog.accept();
    });
    refresh();
    if (dialog.exec() != QDialog::Accepted) return false;
    lowKHz = d.low;
    highKHz = d.high;
    return true;
}

void EditRecordingOptions(QWidget* parent, AppSettings& settings) {
    RecordingOptionsDialog d(settings);
    QDialog dialog(parent);
    auto* layout = begin(dialog, "Recording options");

    auto* resolution = new QGroupBox("Res (DPP)", &dialog);
    auto* radios = new QHBoxLayout(resolution);
    auto* group = new QButtonGroup(&dialog);
    for (int i = 0; i < 4; ++i) {
        auto* r = new QRadioButton(QString::number(i + 1), resolution);
        group->addButton(r, i);
        radios->addWidget(r);
    }
    layout->addWidget(resolution);

    // Rows side by side where they can be: with finger-sized fields the dialog must still
    // fit a 480 pixel high panel.
    auto* picks = new QHBoxLayout;
    layout->addLayout(picks);
    auto* divRatio = new QLineEdit(&dialog);
    picks->addWidget(new QLabel("Div Ratio", &dialog));
    picks->addWidget(divRatio);
    auto* saveOnCal = new QCheckBox("Save On Cal", &dialog);

    auto* autoSave = new QGroupBox("AutoSave", &dialog);
    auto* autoGrid = new QGridLayout(autoSave);
    auto* lineLength = new QLineEdit(autoSave);
    auto* maxTbc = new QLineEdit(autoSave);
    auto* slack = new QLineEdit(autoSave);
    autoGrid->addWidget(new QLabel("LineLength", autoSave), 0, 0);
    autoGrid->addWidget(lineLength, 0, 1);
    autoGrid->addWidget(new QLabel("Max TBC", autoSave), 0, 2);
    autoGrid->addWidget(maxTbc, 0, 3);
    autoGrid->addWidget(new QLabel("Slack", autoSave), 0, 4);
    autoGrid->addWidget(slack, 0, 5);
    layout->addWidget(autoSave);
    layout->addWidget(saveOnCal);
    // Squeezed onto a narrow panel, a field still takes a finger and two digits.
    for (QLineEdit* field : {divRatio, lineLength, maxTbc, slack}) {
        field->setMinimumWidth(platform::qt::fingerPixels(dialog.screen()) * 3 / 2);
        numberPad(field);
    }

    auto texts = [&] {
        return RecordingOptionsDialog::Texts{
            divRatio->text().toStdString(), lineLength->text().toStdString(),
            maxTbc->text().toStdString(), slack->text().toStdString()};
    };
    auto fieldOf = [&](RecordingOptionsDialog::Field f) {
        using F = RecordingOptionsDialog::Field;
        return f == F::DivRatio     ? divRatio
               : f == F::LineLength ? lineLength
               : f == F::MaxTbc     ? maxTbc
                                    : slack;
    };
    auto refresh = [&] {
        const auto t = d.Show();
        divRatio->setText(q(t.divRatio));
        lineLength->setText(q(t.lineLength));
        maxTbc->setText(q(t.maxTbc));
        slack->setText(q(t.slack));
        group->button(d.resolutionIndex)->setChecked(true);
        saveOnCal->setChecked(d.saveOnCal);
    };
    // A radio button or the check box reads every field back as it is clicked.
    auto readBack = [&] {
        if (auto r = d.ReadFields(texts())) refuse(&dialog, fieldOf(r->field), r->message);
    };
    QObject::connect(group, &QButtonGroup::idClicked, &dialog, [&](int id) {
        d.resolutionIndex = id;
        readBack();
    });
    QObject::connect(saveOnCal, &QCheckBox::clicked, &dialog, [&](bool on) {
        d.saveOnCal = on;
        readBack();
    });
    // Tab goes through the fields as they stand on the screen: made in another order, the
    // picks came after Slack, and the check box before LineLength.
    QWidget* previous = divRatio;
    for (int32_t v : RecordingOptionsDialog::kDivRatioPicks) {
        QPushButton* b = pickButton(dialog, v);
        QWidget::setTabOrder(std::exchange(previous, b), b);
        QObject::connect(b, &QPushButton::clicked, &dialog, [&, v] {
            if (auto r = d.PickDivRatio(v, texts())) {
                refuse(&dialog, fieldOf(r->field), r->message);
                return;
            }
            refresh();
        });
        picks->addWidget(b);
    }
    for (QWidget* next : std::initializer_list<QWidget*>{lineLength, maxTbc, slack, saveOnCal})
        QWidget::setTabOrder(std::exchange(previous, next), next);
    QDialogButtonBox* box = addButtons(dialog, layout);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, [&] {
        if (auto r = d.Ok(texts(), settings)) {
            refuse(&dialog, fieldOf(r->field), r->message);
            return;
        }
        dialog.accept();
    });
    refresh();
    dialog.exec();
}

uint32_t EditDisplayOptions(QWidget* parent, AppSettings& settings) {
    DisplayOptionsDialog d(settings);
    QDialog dialog(parent);
    auto* layout = begin(dialog, "Display options");
    auto* bigDots = new QCheckBox("Use BigDots", &dialog);
    auto* allUse = new QCheckBox("View all of newly opened file", &dialog);
    bigDots->setChecked(d.bigDots);
    allUse->setChecked(d.allUse);
    layout->addWidget(bigDots);
    layout->addWidget(allUse);
    auto* colours = new QHBoxLayout;
    for (DisplayOptionsDialog::Button button : DisplayOptionsDialog::kButtons) {
        auto* b = new QPushButton(DisplayOptionsDialog::ButtonText(button), &dialog);
        b->setAutoDefault(false);
        QObject::connect(b, &QPushButton::clicked, &dialog, [&, button] {
            d.Press(button, [&](uint32_t initial, std::array<uint32_t, 16>& custom) {
                return ChooseColour(&dialog, initial, custom);
            });
        });
        colours->addWidget(b);
    }
    layout->addLayout(colours);
    QDialogButtonBox* box = addButtons(dialog, layout);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    if (dialog.exec() == QDialog::Accepted) {
        d.bigDots = bigDots->isChecked();
        d.allUse = allUse->isChecked();
        d.Ok();
    } else {
        d.Cancel();  // Cancel, Escape or the window closed
    }
    return d.changeMask();
}

namespace {
// A list to pick one entry from, by a tap on it or OK: "Cancel" and "OK" on the top row
// beside what `top` holds, and the list filling the dialog from just below them to its
// bottom edge, tall enough for a good many rows. The chosen row, or nothing when cancelled.
std::optional<int> runList(QDialog& dialog, QHBoxLayout* top, const QStringList& entries,
                           int current) {
    auto* layout = new QVBoxLayout(&dialog);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addLayout(top);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    top->addWidget(box);
    QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    auto* list = new QListWidget(&dialog);
    list->addItems(entries);
    const int rowHeight = platform::qt::fingerPixels(dialog.screen());
    for (int i = 0; i < list->count(); ++i) list->item(i)->setSizeHint(QSize(0, rowHeight));
    layout->addWidget(list, 1);
    if (const QWidget* parent = dialog.parentWidget(); parent != nullptr && parent->screen()) {
        const QRect area = parent->screen()->availableGeometry();
        dialog.resize(std::min(area.width(), 640), area.height() * 3 / 4);
    }
    if (current >= 0 && current < list->count()) {
        list->setCurrentRow(current);
        list->scrollToItem(list->currentItem(), QAbstractItemView::PositionAtCenter);
    }
    // A tap on a name is a choice, as on the handheld's list; Return takes the selected one.
    QObject::connect(list, &QListWidget::itemClicked, &dialog, &QDialog::accept);
    QObject::connect(list, &QListWidget::itemActivated, &dialog, &QDialog::accept);
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) return std::nullopt;
    return list->currentRow();
}
}  // namespace

std::optional<std::string> ChooseFile(QWidget* parent, const ZelkoraDoc::OpenRequest& request) {
    QDialog dialog(parent);
    dialog.setWindowTitle("Open");
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(q(request.folder), &dialog), 1);
    top->addWidget(new QLabel(q(request.countText), &dialog));
    // Names as the folder spells them, as everywhere else: the chosen one opens as it stands.
    QStringList names;
    for (const std::string& name : request.names) names << q(name);
    const auto row = runList(dialog, top, names, request.preselected);
    if (!row || *row < 0 || static_cast<size_t>(*row) >= request.names.size()) return std::nullopt;
    return request.names[static_cast<size_t>(*row)];
}

std::optional<std::string> ChooseAnyFile(QWidget* parent, const std::string& folder) {
    QFileDialog dialog(parent, "Open", q(folder), "BatFiles (*.??#)");
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Qt's own dialog takes a size of its own, taller than a small screen scaled for large
    // text (1024x600 at 1.5 or 2), where the name field and the buttons were below its foot.
    dialog.resize(dialog.sizeHint().boundedTo(platform::qt::roomForDialog(parent)));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first().toStdString();
}

std::optional<size_t> ChooseFolder(QWidget* parent,
                                   const std::vector<ZelkoraDoc::FolderChoice>& choices,
                                   std::optional<size_t> current, const std::string& inUse) {
    QDialog dialog(parent);
    dialog.setWindowTitle("Choose folder");
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(q(inUse), &dialog), 1);
    QStringList names;
    for (const auto& c : choices) names << q(c.displayName);
    // Nothing is preselected when the folder in use is none of the choices: OK then moves
    // nothing, where it used to move the folder to the first choice.
    const auto row = runList(dialog, top, names, current ? static_cast<int>(*current) : -1);
    if (!row) return std::nullopt;
    return static_cast<size_t>(*row);
}

std::optional<uint32_t> ChooseColour(QWidget* parent, uint32_t initial,
                                     std::array<uint32_t, 16>& custom) {
    ColourChooserDialog dialog(initial, custom, parent);
    const bool ok = dialog.exec() == QDialog::Accepted;
    // Custom colours made in the chooser are kept even when it was cancelled.
    custom = dialog.custom();
    if (!ok) return std::nullopt;
    return dialog.colour();
}

}  // namespace OptionForms
