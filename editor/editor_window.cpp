#include "editor/editor_window.h"

#include "data/session.h"
#include "editor/about_box.h"
#include "editor/editor_controls.h"
#include "editor/page_controls.h"
#include "model/settings_rows.h"
#include "ui/application.h"

#include <QSignalBlocker>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

namespace kelvo {

TForm3* Form3 = nullptr;

namespace {

// A padlock, shut or open, for the two looks of the lock button.
QIcon PadlockIcon(bool open)
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor body = open ? QColor(0x2e, 0x8b, 0x57) : QColor(0xb2, 0x22, 0x22);
    painter.setPen(QPen(QColor(0x55, 0x55, 0x55), 2.5));
    QPainterPath shackle;
    const qreal shift = open ? 6 : 0;
    shackle.moveTo(7 + shift, 11);
    shackle.lineTo(7 + shift, 7);
    shackle.arcTo(QRectF(7 + shift, 2, 10, 10), 180, -180);
    shackle.lineTo(17 + shift, open ? 7 : 11);
    painter.drawPath(shackle);
    painter.setPen(Qt::NoPen);
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(4, 11, 16, 11), 2, 2);
    return QIcon(pixmap);
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& caption)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

// A list with its caption as a buddy label, placed as one row of `form`.
QComboBox* MakeList(QWidget* parent, QFormLayout* form, const char* name, const QString& caption,
                    const QStringList& items)
{
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->addItems(items);
    list->setAccessibleName(QString(caption).remove(QLatin1Char(':')));
    auto* label = new QLabel(caption, parent);
    label->setBuddy(list);
    form->addRow(label, list);
    return list;
}

}  // namespace

TForm3::TForm3(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TForm3"));
    setWindowTitle(QStringLiteral("Create Kelvo test"));
    setMinimumSize(800, 600);
    Image1 = PadlockIcon(false);
    image2 = PadlockIcon(true);

    auto* layout = new QVBoxLayout(this);
    PageControl = new QTabWidget(this);
    PageControl->setObjectName(QStringLiteral("PageControl"));
    PageControl->setEnabled(false);
    layout->addWidget(PageControl, 1);
    buildPages();
    buildBottomBar();
    layout->addWidget(btnLock->parentWidget());
    buildFrame();
    ShowLockLook(false);

    const Session& session = Session::current();
    connect(&session, &Session::rightsChanged, this,
            guardedSlot([this](const AccountRights& rights) { ApplyRights(rights); }));
    connect(&session, &Session::accountRevoked, this, guardedSlot([this] { DisableAccountControls(); }));
}

void TForm3::ApplyRights(const AccountRights& rights)
{
    if (const int page = PageControl->indexOf(Sheet9); page >= 0)
        PageControl->setTabVisible(page, rights.administrator());
    btnLock->setEnabled(rights.allows(5));
}

void TForm3::DisableAccountControls()
{
    btnLock->setEnabled(false);
    ShowLockLook(false);
    if (const int page = PageControl->indexOf(Sheet9); page >= 0)
        PageControl->setTabVisible(page, false);
}

void TForm3::buildBottomBar()
{
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel2"));
    auto* bar = new QHBoxLayout(panel);
    btnNew = MakeButton(panel, "btnNew", QStringLiteral("&New"), QStringLiteral("Create new Kelvo Access file"));
    btnHelp = MakeButton(panel, "btnHelp", QStringLiteral("Help"), QStringLiteral("Show Kelvo help file"));
    btnLock = new QToolButton(panel);
    btnLock->setObjectName(QStringLiteral("btnLock"));
    btnLock->setCheckable(true);
    btnLock->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    btnLock->setToolTip(QStringLiteral("Lock or Unlock Kelvo Test"));
    btnLock->setAccessibleName(QStringLiteral("Lock"));
    btnLock->setEnabled(false);
    btnOpen = MakeButton(panel, "btnOpen", QStringLiteral("&Open"), QStringLiteral("Open existing Kelvo file"));
    bar->addWidget(btnNew);
    bar->addStretch();
    bar->addWidget(btnHelp);
    bar->addStretch();
    bar->addWidget(btnLock);
    bar->addStretch();
    bar->addWidget(btnOpen);

    connect(btnNew, &QPushButton::clicked, this, guardedSlot([this] { btnNewClick(); }));
    connect(btnOpen, &QPushButton::clicked, this, guardedSlot([this] { btnOpenClick(); }));
    connect(btnLock, &QToolButton::clicked, this, guardedSlot([this] { btnLockClick(); }));
    // Assistive tools toggle a checkable button instead of clicking it, and the lock acts
    // on clicks only. A press comes before every click's toggle; the program's own
    // changes of the look keep it in step with the tag, or run while the button is off.
    connect(btnLock, &QToolButton::pressed, this, [this] { lockPressed_ = true; });
    connect(btnLock, &QToolButton::released, this, [this] { lockPressed_ = false; });
    connect(btnLock, &QToolButton::toggled, this, guardedSlot([this](bool checked) {
        const bool unlocked = btnLock->property("tag").toInt() == 1;
        if (lockPressed_ || !btnLock->isEnabled() || checked == unlocked)
            return;
        {
            const QSignalBlocker quiet(btnLock);
            btnLock->setChecked(unlocked);
        }
        btnLock->click();
    }));
}

void TForm3::buildPages()
{
    const auto addPage = [this](QWidget*& sheet, const char* name, const QString& caption) {
        sheet = new QWidget(PageControl);
        sheet->setObjectName(QLatin1String(name));
        PageControl->addTab(sheet, caption);
    };
    addPage(Sheet1, "Sheet1", QStringLiteral("Questions"));
    addPage(Sheet2, "Sheet2", QStringLiteral("Answers"));
    addPage(Sheet5, "Sheet5", QStringLiteral("Data"));
    addPage(Sheet3, "Sheet3", QStringLiteral("Variables"));
    addPage(Sheet6, "Sheet6", QStringLiteral("Keyboard"));
    addPage(Sheet7, "Sheet7", QStringLiteral("Language"));
    addPage(Sheet8, "Sheet8", QStringLiteral("Properties"));
    addPage(Sheet9, "Sheet9", QStringLiteral("Administrator"));

    buildQuestionsPage();
    buildAnswersPage();
    buildDataPage();
    buildVariablesPage();
    buildKeyboardPage();
    buildLanguagePage();
    buildPropertiesPage();
    buildAdministratorPage();
}

void TForm3::buildPropertiesPage()
{
    auto* grid = new QGridLayout(Sheet8);
    const auto panel = [&](const char* name, const QString& title, int row, int column) {
        auto* box = new QGroupBox(title, Sheet8);
        box->setObjectName(QLatin1String(name));
        grid->addWidget(box, row, column);
        return box;
    };

    QGroupBox* answers = panel("panel8a", QStringLiteral("Questions and answers"), 0, 0);
    auto* answersForm = new QFormLayout(answers);
    cQuestions = MakeList(answers, answersForm, "cQuestions", QStringLiteral("Questions align:"),
                          {QStringLiteral("Left"), QStringLiteral("Center"), QStringLiteral("Right")});
    combo1 = MakeList(answers, answersForm, "combo1", QStringLiteral("Type of answers:"),
                      {QStringLiteral("Speed Buttons"), QStringLiteral("Check Boxes"), QStringLiteral("Radio Buttons")});
    cAlign = MakeList(answers, answersForm, "cAlign", QStringLiteral("Answers align:"),
                      {QStringLiteral("Left"), QStringLiteral("Center"), QStringLiteral("Strech")});

    QGroupBox* run = panel("panel8b", QStringLiteral("Running the test"), 0, 1);
    auto* runForm = new QFormLayout(run);
    chTimerEnabled = MakeCheck(run, "chTimerEnabled", QStringLiteral("Timer enabled"));
    runForm->addRow(chTimerEnabled);
    udTimer = new QSpinBox(run);
    udTimer->setObjectName(QStringLiteral("udTimer"));
    udTimer->setRange(5, 32767);
    udTimer->setValue(3600);
    udTimer->setAccessibleName(QStringLiteral("Test time (s)"));
    auto* timerLabel = new QLabel(QStringLiteral("Test time (s):"), run);
    timerLabel->setBuddy(udTimer);
    runForm->addRow(timerLabel, udTimer);
    aposterior = MakeCheck(run, "aposterior", QStringLiteral("Posterior analysis"));
    SaveUnfinished = MakeCheck(run, "SaveUnfinished", QStringLiteral("Save unfinished test"));
    convertToNull = MakeCheck(run, "convertToNull", QStringLiteral("Start value to null"));
    for (QCheckBox* box : {aposterior, SaveUnfinished, convertToNull})
        runForm->addRow(box);

    QGroupBox* behaviour = panel("panel8c", QStringLiteral("Answering"), 0, 2);
    auto* behaviourLayout = new QVBoxLayout(behaviour);
    chMultipleAnswer = MakeCheck(behaviour, "chMultipleAnswer", QStringLiteral("Allow multiple answers"));
    chAllowNoAnswer = MakeCheck(behaviour, "chAllowNoAnswer", QStringLiteral("Allow no answers"));
    checkStatus = MakeCheck(behaviour, "checkStatus", QStringLiteral("Status bar visible"));
    chKeyBoard = MakeCheck(behaviour, "chKeyBoard", QStringLiteral("Enable Keyboard"));
    for (QCheckBox* box : {chMultipleAnswer, chAllowNoAnswer, checkStatus, chKeyBoard})
        behaviourLayout->addWidget(box);
    behaviourLayout->addStretch();

    QGroupBox* look = panel("panel8d", QStringLiteral("Test panel"), 1, 0);
    auto* lookLayout = new QVBoxLayout(look);
    speed10 = MakeButton(look, "speed10", QStringLiteral("Questions Font"));
    speed11 = MakeButton(look, "speed11", QStringLiteral("Answers Font"));
    speed13 = MakeButton(look, "speed13", QStringLiteral("Test Panel color"));
    genTxtRecord = MakeCheck(look, "genTxtRecord", QStringLiteral("Generate .txt record"));
    for (QWidget* widget : std::initializer_list<QWidget*>{speed10, speed11, speed13, genTxtRecord})
        lookLayout->addWidget(widget);

    QGroupBox* typed = panel("panel8e", QStringLiteral("Last editable answer"), 1, 1);
    auto* typedForm = new QFormLayout(typed);
    chEditQuestion = MakeCheck(typed, "chEditQuestion", QStringLiteral("Last answer is editable"));
    typedForm->addRow(chEditQuestion);
    cbParseEdit = MakeList(typed, typedForm, "cbParseEdit", QStringLiteral("Parse:"),
                           {QStringLiteral("Only trim"), QStringLiteral("LowerCase"),
                            QStringLiteral("LowerCase+Ignore blanks")});

    QGroupBox* fields = panel("panel8f", QStringLiteral("Data fields panel:"), 1, 2);
    auto* fieldsForm = new QFormLayout(fields);
    speed12 = MakeButton(fields, "speed12", QStringLiteral("Color"));
    speed14 = MakeButton(fields, "speed14", QStringLiteral("Font"));
    fieldsForm->addRow(speed12);
    fieldsForm->addRow(speed14);
    combo2 = MakeList(fields, fieldsForm, "combo2", QStringLiteral("Align fields:"),
                      {QStringLiteral("Up-Down"), QStringLiteral("Left-Right")});
    combo4 = MakeList(fields, fieldsForm, "combo4", QStringLiteral("Char Case"),
                      {QStringLiteral("Normal"), QStringLiteral("Lower Case"), QStringLiteral("Upper Case")});

    auto* bottom = new QWidget(Sheet8);
    bottom->setObjectName(QStringLiteral("Panel13"));
    auto* bottomLayout = new QHBoxLayout(bottom);
    speed6 = MakeButton(bottom, "speed6", QStringLiteral("Instructions"), QStringLiteral("Define path for Test Instructions"));
    auto* pathLabel = new QLabel(QStringLiteral("Path:"), bottom);
    labInstruction = new QLabel(bottom);
    labInstruction->setObjectName(QStringLiteral("labInstruction"));
    labInstruction->setAccessibleName(QStringLiteral("Instruction file"));
    pathLabel->setBuddy(labInstruction);
    versionInfo = new QLabel(QStringLiteral("File version:"), bottom);
    versionInfo->setObjectName(QStringLiteral("versionInfo"));
    btnStructure = MakeButton(bottom, "btnStructure", QStringLiteral("Structure"),
                              QStringLiteral("Write Test structure to editor"));
    connect(btnStructure, &QPushButton::clicked, this, guardedSlot([this] { btnStructureClick(); }));
    bntLog = MakeButton(bottom, "bntLog", QStringLiteral("View Log"));
    btnHelp7 = MakeHelpButton(bottom, "btnHelp7", QStringLiteral("13"));
    bottomLayout->addWidget(speed6);
    bottomLayout->addWidget(pathLabel);
    bottomLayout->addWidget(labInstruction, 1);
    bottomLayout->addWidget(versionInfo);
    bottomLayout->addWidget(btnStructure);
    bottomLayout->addWidget(bntLog);
    bottomLayout->addWidget(btnHelp7);
    grid->addWidget(bottom, 2, 0, 1, 3);
    grid->setRowStretch(3, 1);
    connectPropertiesHandlers();
}

void TForm3::ShowLockLook(bool unlocked)
{
    btnLock->setProperty("tag", unlocked ? 1 : 0);
    btnLock->setChecked(unlocked);
    btnLock->setText(unlocked ? QStringLiteral("&Unlocked") : QStringLiteral("&Locked"));
    btnLock->setIcon(unlocked ? image2 : Image1);
    PageControl->setEnabled(unlocked);
}

void TForm3::Button1Click() { ShowAboutBox(this); }

void TForm3::done(int result)
{
    guarded([this] {
        if (Session::current().con.isOpen())
            SaveSettings();
    });
    QDialog::done(result);
}

}  // namespace kelvo
