#include "run/run_window.h"

#include "data/database.h"
#include "data/session.h"
#include "model/rtf_reader.h"
#include "model/settings_rows.h"
#include "run/numlock.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/printable_text.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QLayout>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QWindow>
#include <QVBoxLayout>

#include <cmath>

namespace kelvo {

namespace {

const QString kNotConnectedError = QStringLiteral(
    "Error code 22. Main database connection is disabled!\r\n\r\nCurrently can not use *.mdb file "
    "(Test)!\r\n\r\nCheck status of database file!");
const QString kLoadTestError =
    QStringLiteral("Error code 23. Function LoadTest failed!\r\n\r\nCheck status of database file!");

const QColor kFieldColor(255, 251, 240);  // the cream of an edit that has no focus

bool IsTrue(const std::optional<QString>& value)
{
    return value && value->toLower() == QLatin1String("true");
}

int IntOr(const std::optional<QString>& value, int fallback)
{
    if (!value)
        return fallback;
    bool ok = false;
    const int number = value->trimmed().toInt(&ok);
    return ok ? number : fallback;
}

// A button at least 100 by 25, larger when its caption needs it.
void SizeButtonForCaption(QPushButton& button, const QString& caption, const QFont& font)
{
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(caption) + 16;
    const int height = metrics.height() + 8;
    button.resize(width >= 101 ? width : 100, height >= 26 ? height : 25);
}

void SetBaseColor(QLineEdit& edit, const QColor& color)
{
    QPalette palette = edit.palette();
    palette.setColor(QPalette::Base, color);
    edit.setPalette(palette);
}

}  // namespace

TestPage::TestPage(QWidget* parent) : QScrollArea(parent), content_(new QWidget)
{
    setWidget(content_);
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
    content_->setAutoFillBackground(true);
    hide();
}

void TestPage::setPageColor(const QColor& color)
{
    for (QWidget* widget : {static_cast<QWidget*>(content_), viewport()}) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, color);
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
    }
}

TForm2::TForm2(QWidget* owner)
    : QDialog(owner),
      panel1(new TestPage(this)),
      panel2(new TestPage(this)),
      panel3(new TestPage(this)),
      re(new QTextEdit(panel1->content())),
      btnStartTest(new QPushButton(QStringLiteral("Start test"), panel1->content())),
      btnInstruction(new QPushButton(QStringLiteral("Next"), panel2->content())),
      dbt(new QLabel(panel3->content())),
      status(new QStatusBar(this)),
      timer(new QTimer(this))
{
    setObjectName(QStringLiteral("TForm2"));
    setWindowTitle(QStringLiteral("Kelvo"));
    panel1->setObjectName(QStringLiteral("panel1"));
    panel2->setObjectName(QStringLiteral("panel2"));
    panel3->setObjectName(QStringLiteral("panel3"));
    panel1->setAccessibleName(QStringLiteral("Instructions"));
    panel2->setAccessibleName(QStringLiteral("Data fields"));
    panel3->setAccessibleName(QStringLiteral("Questions"));
    re->setObjectName(QStringLiteral("re"));
    re->setAccessibleName(QStringLiteral("Instructions"));
    re->setReadOnly(true);
    re->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    btnStartTest->setObjectName(QStringLiteral("btnStartTest"));
    btnInstruction->setObjectName(QStringLiteral("btnInstruction"));
    dbt->setObjectName(QStringLiteral("dbt"));
    dbt->setAccessibleName(QStringLiteral("Question"));
    dbt->setWordWrap(true);
    dbt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    dbt->setProperty("tag", -3);
    status->setObjectName(QStringLiteral("status"));
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(status);
        panel->setObjectName(QStringLiteral("statusPanel%1").arg(i));
        status->addWidget(panel, 1);  // four equal panels
        statusPanels.push_back(panel);
    }
    status->setSizeGripEnabled(false);
    status->hide();
    timer->setObjectName(QStringLiteral("timer"));
    timer->setInterval(1000);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (TestPage* page : {panel1, panel2, panel3})
        layout->addWidget(page, 1);
    layout->addWidget(status);

    connect(btnStartTest, &QPushButton::clicked, this, guardedSlot([this] { btnStartTestClick(); }));
    connect(btnInstruction, &QPushButton::clicked, this, guardedSlot([this] { btnInstructionClick(); }));
    connect(timer, &QTimer::timeout, this, guardedSlot([this] { timerTimer(); }));
    // The window sees every key before its controls do.
    qApp->installEventFilter(this);

    FormCreate();
}

TForm2::~TForm2()
{
    qApp->removeEventFilter(this);
    timer->stop();
}

int TForm2::exec()
{
    if (closeRequested_)
        return QDialog::Rejected;
    return QDialog::exec();
}

void TForm2::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (closeRequested_)
        QTimer::singleShot(0, this, [this] { done(QDialog::Rejected); });
}

void TForm2::FormCreate()
{
    if (!AttachQueries()) {
        dialogs::error(kNotConnectedError);
        closeRequested_ = true;
        return;
    }
    bool loaded = false;
    try {
        loaded = LoadTest();
    } catch (const std::invalid_argument&) {
        loaded = false;  // a font or number setting that does not convert
    }
    if (!loaded) {
        dialogs::error(kLoadTestError);
        closeRequested_ = true;
        return;
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        setGeometry(screen->availableGeometry());
    setWindowState(windowState() | Qt::WindowMaximized);
    for (TestPage* page : {panel1, panel2, panel3}) {
        page->tag = 0;
        page->hide();
    }
    QApplication::processEvents();
    if (gKeyboardOn)
        ForceNumLockOn();
    if (HasUserFields()) {
        ShowPage(panel2);
        panel2->tag = 1;
        BuildUserFieldsPage();
    } else if (ShowInstructions()) {
        ShowPage(panel1);
        panel1->tag = 1;
    } else {
        btnStartTest->click();
    }
}

bool TForm2::AttachQueries() { return Session::current().con.isOpen(); }

std::optional<QString> TForm2::SettingValue(SettingId id) const
{
    for (int r = 0; r < gSettings.rows(); ++r)
        if (!gSettings.at(r, 0).isNull() && gSettings.number(r, 0) == settingNumber(id))
            return gSettings.at(r, 1).isNull() ? std::nullopt : std::optional<QString>(gSettings.text(r, 1));
    return std::nullopt;
}

bool TForm2::LoadTest()
{
    gItems = SelectToVariant(QStringLiteral("select id, caption, editcap from items order by id;"));
    if (gItems.isNull())
        return false;
    gSettings = SelectToVariant(QStringLiteral("select id, v, d from testd;"));
    if (gSettings.isNull())
        return false;
    gUserFields = SelectToVariant(QStringLiteral("select id, posit, caption, ftype from userf order by posit;"));
    gVariables = SelectToVariant(QStringLiteral("select id, decnum, start, cumul from variables order by id;"));
    gFormulas = SelectToVariant(QStringLiteral("select autoid, varid, formula from formula order by varid, autoid;"));
    gKeys = SelectToVariant(QStringLiteral("select id, k from keyb order by id;"));
    if (gKeys.isNull())
        return false;

    gSingleAnswer = !IsTrue(SettingValue(SettingId::AllowMultipleAnswers));
    gAllowNoAnswer = IsTrue(SettingValue(SettingId::AllowNoAnswer));
    const std::optional<QString> controlType = SettingValue(SettingId::AnswerControlType);
    if (!controlType)
        return false;
    gControlType = IntOr(controlType, 0);
    gKeyboardOn = IsTrue(SettingValue(SettingId::KeyboardEnabled));

    // A test whose questions have no answers at all has no largest answer count.
    gMaxAnswers = FirstInteger(QStringLiteral("select count(id) from answers group by itemid order by 1 desc;"));
    if (gMaxAnswers <= 0)
        return false;
    gAnswerCaptions.clear();
    const RowSet answers = SelectToVariant(QStringLiteral("select itemid, caption from answers order by itemid, id;"));
    for (int r = 0; r < answers.rows(); ++r)
        gAnswerCaptions[answers.integer(r, 0)] << answers.text(r, 1);

    const std::optional<QString> fieldLayout = SettingValue(SettingId::DataFieldsAlign);
    const std::optional<QString> answerAlign = SettingValue(SettingId::AnswersAlign);
    const std::optional<QString> posteriorOnly = SettingValue(SettingId::Aposterior);
    if (!fieldLayout || !answerAlign || !posteriorOnly)
        return false;
    gFieldLayout = IntOr(fieldLayout, 0);
    gAnswerAlign = IntOr(answerAlign, 0);
    gPosteriorOnly = IsTrue(posteriorOnly);

    if (const auto font = SettingValue(SettingId::ItemsFont))
        fontItems = FontFromSettingString(*font);
    if (const auto font = SettingValue(SettingId::AnswersFont))
        fontAnswers = FontFromSettingString(*font);
    if (const auto font = SettingValue(SettingId::DataFieldsFont))
        fontFields = FontFromSettingString(*font);

    gTimerOn = IsTrue(SettingValue(SettingId::TimerEnabled));
    if (gTimerOn) {
        const std::optional<QString> limit = SettingValue(SettingId::TestTime);
        bool ok = false;
        gTimeLimit = limit ? limit->trimmed().toInt(&ok) : 0;
        if (!ok)
            return false;
        gTimeLimitText = SecondsToHMS(gTimeLimit);
    }
    gTypedLastAnswer = IsTrue(SettingValue(SettingId::LastAnswerEditable));
    if (gTypedLastAnswer) {
        const std::optional<QString> parse = SettingValue(SettingId::ParseTypedAnswer);
        if (!parse)
            return false;
        gTypedParse = IntOr(parse, -1);
    }
    if (const auto caption = SettingValue(SettingId::TestFormCaption))
        setWindowTitle(*caption);
    const std::optional<QString> fieldCase = SettingValue(SettingId::DataFieldsCharCase);
    if (!fieldCase)
        return false;
    gFieldCase = IntOr(fieldCase, 0);
    const SettingId statusTexts[] = {SettingId::QuestionNumberText, SettingId::QuestionsLeftText, SettingId::TimeText,
                                     SettingId::TimeLeftText};
    for (int i = 0; i < 4; ++i)
        gStatusTexts[i] = SettingValue(statusTexts[i]).value_or(QString());
    gBackupFile = IsTrue(SettingValue(SettingId::GenerateTextRecord));
    const int questionAlign = IntOr(SettingValue(SettingId::QuestionsAlign), 0);
    dbt->setAlignment(Qt::AlignTop
                      | (questionAlign == 1 ? Qt::AlignHCenter : questionAlign == 2 ? Qt::AlignRight : Qt::AlignLeft));
    gNullUnchanged = IsTrue(SettingValue(SettingId::ConvertToNull));
    return true;
}

void TForm2::ShowPage(TestPage* page)
{
    for (TestPage* other : {panel1, panel2, panel3})
        if (other != page)
            other->hide();
    page->show();
}

// --- the data-field page ---------------------------------------------------------------

bool TForm2::HasUserFields()
{
    if (gUserFields.isNull())
        return false;
    LayoutUserFields();
    return true;
}

void TForm2::LayoutUserFields()
{
    QString longest;
    for (int r = 0; r < gUserFields.rows(); ++r)
        if (gUserFields.text(r, 2).size() > longest.size())
            longest = gUserFields.text(r, 2);
    const QFontMetrics metrics(fontFields.font);
    const int w = metrics.horizontalAdvance(longest);
    const int h = metrics.height();
    gLabelLeft = width() / 10;
    if (gFieldLayout != 1) {
        gEditLeft = gLabelLeft;
        gEditWidth = width() * 3 / 4;
    } else {
        gEditLeft = w + 2 * gLabelLeft;
        gEditWidth = width() / 2;
    }
    gRowHeight = 3 * h;
}

void TForm2::BuildUserFieldsPage()
{
    QWidget* content = panel2->content();
    content->resize(panel2->width() > 0 ? width() : width(), height() - 40);
    int lastRow = 0;
    for (int r = 0; r < gUserFields.rows(); ++r) {
        const int id = gUserFields.integer(r, 0);
        const int row = gUserFields.integer(r, 1);
        const QString caption = gUserFields.text(r, 2);
        if (gUserFields.text(r, 3).toLower() == QLatin1String("boolean"))
            AddUserFieldCheckBox(id, row, caption);
        else
            AddUserFieldEdit(id, row, caption);
        lastRow = row;
    }
    btnInstruction->setFont(fontFields.font);
    if (const auto caption = SettingValue(SettingId::DataFieldsButton)) {
        btnInstruction->setText(*caption);
        SizeButtonForCaption(*btnInstruction, *caption, fontFields.font);
    } else {
        btnInstruction->resize(100, 25);
    }
    btnInstruction->setAccessibleName(btnInstruction->text());
    btnInstruction->move(content->width() / 2 - btnInstruction->width() / 2, (lastRow + 1) * gRowHeight);
    GrowPageFor(*btnInstruction);
    if (const auto color = SettingValue(SettingId::DataFieldsPanelColor)) {
        try {
            panel2->setPageColor(ColorFromName(*color));
        } catch (const std::invalid_argument&) {
            // a colour that does not convert leaves the page as it is
        }
    }
    if (!userFieldControls_.empty())
        userFieldControls_.front()->setFocus();
}

void TForm2::AddUserFieldEdit(int fieldId, int row, const QString& caption)
{
    auto* edit = new QLineEdit(panel2->content());
    edit->setObjectName(QStringLiteral("data") + QString::number(fieldId));
    edit->setProperty("tag", fieldId);
    edit->setFont(fontFields.font);
    ApplyTextColor(*edit, fontFields.color);
    edit->setMaxLength(100);
    KeepPrintable(edit);
    SetBaseColor(*edit, kFieldColor);
    edit->setAccessibleName(caption);
    edit->setGeometry(gEditLeft, row * gRowHeight, gEditWidth, edit->sizeHint().height());
    if (gFieldCase == 1 || gFieldCase == 2) {
        const bool lower = gFieldCase == 1;
        connect(edit, &QLineEdit::textEdited, edit, [edit, lower](const QString& text) {
            const QString cased = lower ? text.toLower() : text.toUpper();
            if (cased != text) {
                const int cursor = edit->cursorPosition();
                edit->setText(cased);
                edit->setCursorPosition(cursor);
            }
        });
    }
    edit->installEventFilter(this);
    edit->show();

    auto* label = new QLabel(caption, panel2->content());
    label->setFont(fontFields.font);
    ApplyTextColor(*label, fontFields.color);
    label->setBuddy(edit);
    label->adjustSize();
    const int top = gFieldLayout == 1 ? edit->y() + edit->height() / 2 - label->height() / 2
                                      : edit->y() - label->height();
    label->move(gLabelLeft, top);
    label->show();
    userFieldControls_.push_back(edit);
    GrowPageFor(*edit);
}

void TForm2::AddUserFieldCheckBox(int fieldId, int row, const QString& caption)
{
    auto* box = new QCheckBox(caption, panel2->content());
    box->setObjectName(QStringLiteral("data") + QString::number(fieldId));
    box->setProperty("tag", fieldId);
    box->setFont(fontFields.font);
    ApplyTextColor(*box, fontFields.color);
    box->setAccessibleName(caption);
    const int left = gEditLeft;
    box->setGeometry(left, row * gRowHeight, std::max(width() - left, 100),
                     std::max(QFontMetrics(fontFields.font).height(), box->sizeHint().height()));
    box->installEventFilter(this);
    box->show();
    userFieldControls_.push_back(box);
    GrowPageFor(*box);
}

// A page that its controls outgrow scrolls instead of cutting them off.
void TForm2::GrowPageFor(const QWidget& control)
{
    QWidget* content = control.parentWidget();
    const int needed = control.y() + control.height() + gRowHeight;
    if (needed > content->height())
        content->resize(content->width(), needed);
}

void TForm2::UserFieldEnter(QLineEdit* edit) { SetBaseColor(*edit, QApplication::palette().color(QPalette::Base)); }

void TForm2::UserFieldExit(QLineEdit* edit) { SetBaseColor(*edit, kFieldColor); }

bool TForm2::UserFieldKeyUp(QWidget* field, int key, Qt::KeyboardModifiers modifiers)
{
    if (userFieldControls_.empty())
        return false;
    const auto at = std::find(userFieldControls_.begin(), userFieldControls_.end(), field);
    if (at == userFieldControls_.end())
        return false;
    const Qt::KeyboardModifiers plain = modifiers & ~Qt::KeypadModifier;
    if (key == Qt::Key_Home && plain == Qt::ControlModifier) {
        userFieldControls_.front()->setFocus();
        return true;
    }
    if (key == Qt::Key_End && plain == Qt::ControlModifier) {
        userFieldControls_.back()->setFocus();
        return true;
    }
    if (key == Qt::Key_Up) {
        focusNextPrevChild(false);
        return true;
    }
    if (key == Qt::Key_Down || key == Qt::Key_Return || key == Qt::Key_Enter) {
        focusNextPrevChild(true);
        return true;
    }
    return false;
}

bool TForm2::ValidateUserFields()
{
    QStringList faults;
    for (QWidget* control : userFieldControls_) {
        auto* edit = qobject_cast<QLineEdit*>(control);
        if (!edit)
            continue;
        const QString text = edit->text().trimmed();
        edit->setText(text);
        const auto markFaulty = [edit] {
            SetBaseColor(*edit, Qt::red);
            edit->setFocus();
        };
        if (text.contains(QLatin1Char('\''))) {
            faults << QStringLiteral("Forbidden character ' in field! Delete this character from field: ") + text;
            markFaulty();
        }
        if (text.isEmpty())
            continue;
        const int fieldId = edit->property("tag").toInt();
        for (int r = 0; r < gUserFields.rows(); ++r) {
            if (gUserFields.integer(r, 0) != fieldId)
                continue;
            const QString type = gUserFields.text(r, 3);
            const bool integer = type.toLower() == QLatin1String("integer");
            if ((integer || type.toLower() == QLatin1String("float")) && !IsNumber(text, integer)) {
                faults << QStringLiteral("This field must be ") + type + QStringLiteral(": ") + gUserFields.text(r, 2);
                markFaulty();
            }
        }
    }
    if (faults.isEmpty())
        return true;
    QString message;
    for (const QString& fault : faults)
        message += fault + QStringLiteral("\r\n\r\n");
    dialogs::error(message);
    return false;
}

void TForm2::btnInstructionClick()
{
    if (!ValidateUserFields())
        return;
    if (ShowInstructions()) {
        panel2->hide();
        ShowPage(panel1);
        panel1->tag = 1;
    } else {
        btnStartTest->click();
    }
}

// --- the instruction page ---------------------------------------------------------------

bool TForm2::ShowInstructions()
{
    const std::optional<QString> path = SettingValue(SettingId::InstructionPath);
    if (!path || path->trimmed().isEmpty() || !QFileInfo(*path).isFile())
        return false;
    QFile file(*path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    re->clear();
    readRtfOrPlainTextInto(file.readAll(), *re->document());
    btnStartTest->setFont(fontAnswers.font);
    if (const auto caption = SettingValue(SettingId::InstructionButton)) {
        btnStartTest->setText(*caption);
        SizeButtonForCaption(*btnStartTest, *caption, fontAnswers.font);
    } else {
        btnStartTest->resize(100, 25);
    }
    btnStartTest->setAccessibleName(btnStartTest->text());
    panel1->setPageColor(panel2->content()->palette().color(QPalette::Window));
    Panel1Resize();
    return true;
}

void TForm2::Panel1Resize()
{
    const int pageHeight = std::max(panel1->height(), height() - (status->isVisible() ? status->height() : 0));
    const int reHeight = static_cast<int>(std::lround(pageHeight * 0.8));
    const int pageWidth = width();
    panel1->content()->resize(pageWidth, pageHeight);
    re->setGeometry(0, 0, pageWidth, reHeight);
    btnStartTest->move(static_cast<int>(std::lround((pageWidth - btnStartTest->width()) / 2.0)),
                       (pageHeight - reHeight) / 2 + reHeight - btnStartTest->height());
}

void TForm2::Panel3Resize()
{
    for (QLabel* panel : statusPanels)
        panel->setMinimumWidth(status->width() / 4 - status->layout()->spacing());
}

void TForm2::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    guarded([&] {
        if (panel1->tag == 1 || panel1->isVisible())
            Panel1Resize();
        Panel3Resize();
        if (panel3->tag == 1 && gRunning && !ending_)
            ShowItem();
    });
}

// --- closing ----------------------------------------------------------------------------

void TForm2::reject() { close(); }

bool TForm2::RunBoxOpen() const
{
    QWidget* modal = QApplication::activeModalWidget();
    return gRunning && modal && modal != this;
}

void TForm2::closeEvent(QCloseEvent* event)
{
    if (RunBoxOpen()) {  // a question of the run is open: its answer decides
        event->ignore();
        return;
    }
    bool canClose = true;
    if (!guarded([&] { FormCloseQuery(canClose); }))
        canClose = !gRunning;
    if (!canClose) {
        event->ignore();
        return;
    }
    FormClose();
    event->accept();
    QDialog::done(QDialog::Rejected);
}

void TForm2::FormClose() { timer->stop(); }

// --- keys -------------------------------------------------------------------------------

bool TForm2::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    // The window system's close button reaches the window itself, past a close that is
    // asking its question (Qt then takes the window down at once): while a box of the
    // run is open, the request waits for its answer.
    if (type == QEvent::Close && watched == static_cast<QObject*>(windowHandle()) && RunBoxOpen()) {
        event->ignore();
        return true;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::FocusIn
        && type != QEvent::FocusOut)
        return QDialog::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return QDialog::eventFilter(watched, event);
    bool consumed = false;
    guarded([&] {
        if (type == QEvent::FocusIn || type == QEvent::FocusOut) {
            auto* edit = qobject_cast<QLineEdit*>(widget);
            if (edit && edit->parentWidget() == panel2->content()) {
                if (type == QEvent::FocusIn)
                    UserFieldEnter(edit);
                else
                    UserFieldExit(edit);
            }
            return;
        }
        auto* key = static_cast<QKeyEvent*>(event);
        // Only the first delivery of a key counts: Qt offers an ignored key to the parents too.
        if (watched != QApplication::focusWidget() && QApplication::focusWidget()
            && QApplication::focusWidget()->window() == this)
            return;
        if (panel2->isVisible() && type == QEvent::KeyRelease && !key->isAutoRepeat()) {
            consumed = UserFieldKeyUp(widget, key->key(), key->modifiers());
            return;
        }
        if (!panel3->isVisible() || !gRunning)
            return;
        const int virtualKey = [&] {
            const int k = key->key();
            if (k >= Qt::Key_0 && k <= Qt::Key_9 && (key->modifiers() & Qt::KeypadModifier))
                return 96 + (k - Qt::Key_0);
            return k;
        }();
        if (type == QEvent::KeyPress) {
            // Enter does not go into a typed answer, and a letter that selects another
            // answer does not go into it either.
            if (FocusedAnswerEdit()) {
                if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
                    consumed = true;
                else if (gKeyboardOn && !(virtualKey >= Qt::Key_0 && virtualKey <= Qt::Key_9)) {
                    QAbstractButton* target = ShortcutTarget(virtualKey);
                    consumed = target && target->property("tag").toInt() != CurrentAnswerCount() - 1;
                }
            }
            return;
        }
        if (!key->isAutoRepeat())
            consumed = FormKeyUp(virtualKey, key->modifiers());
    });
    return consumed;
}

}  // namespace kelvo
