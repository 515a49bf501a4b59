// The question page of the test window: the run's answers, the answer controls and
// their placement, typed answers, moving between questions, keys and the time limit.

#include "run/run_window.h"

#include "data/database.h"
#include "data/session.h"
#include "model/settings_rows.h"
#include "run/numlock.h"
#include "ui/application.h"
#include "ui/dialog_service.h"
#include "ui/printable_text.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTime>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace kelvo {

namespace {


int TagOf(const QObject& control) { return control.property("tag").toInt(); }

// The caption as stored; the text shown has its "&" doubled so that it stays a character.
QString CaptionOf(const QAbstractButton& control) { return control.property("caption").toString(); }

void SetCaption(QAbstractButton& control, const QString& caption)
{
    control.setProperty("caption", caption);
    QString shown = caption;
    control.setText(shown.replace(QLatin1Char('&'), QLatin1String("&&")));
    control.setAccessibleName(caption);
}

void SetChecked(QAbstractButton& control, bool on)
{
    const QSignalBlocker blocker(control);
    control.setChecked(on);
}

}  // namespace

// --- starting ---------------------------------------------------------------------------

void TForm2::btnStartTestClick()
{
    if (panel3->tag == 0) {
        InitRunState();
        CreateAnswerControls();
        ShowPage(panel3);
        if (!StartResultRecord())
            dialogs::error(QStringLiteral(
                "Error code: 273.\r\n\r\nProgram can not set (write) a new test in the database.\r\n\r\n"
                "Check status of database file!"));
        ShowItem();
        panel3->tag = 1;
    }
    panel1->hide();
    panel2->hide();
    ShowPage(panel3);
    // The shown typed answer keeps the focus, also when the window is not yet active
    // (the run starts before the window is shown): it gets it on activation.
    const auto typed = std::find_if(answerEdits_.begin(), answerEdits_.end(),
                                    [](const QLineEdit* edit) { return !edit->isHidden(); });
    if (typed != answerEdits_.end())
        (*typed)->setFocus();
    else
        panel3->setFocus();
}

void TForm2::InitRunState()
{
    const std::size_t questions = static_cast<std::size_t>(gItems.rows());
    const std::size_t slotCount = static_cast<std::size_t>(gMaxAnswers);
    gAnswers.assign(questions, std::vector<QString>(slotCount));
    gAnswerValues.assign(questions, std::vector<int>(slotCount, 0));
    gCurrentItem = 0;
    gVariableValues.reset();
    if (!gVariables.isNull()) {
        std::vector<std::vector<QVariant>> rows;
        for (int r = 0; r < gVariables.rows(); ++r)
            rows.push_back({gVariables.at(r, 0), QVariant()});
        gVariableValues = RowSet(std::move(rows));
    }
    gElapsed = 0;
    gStartTime = QDateTime::currentDateTime();
    if (gTimerOn)
        timer->start();
    else
        timer->stop();
    gRunning = true;
    gGoBack = 0;
    gCorrections = 0;
    gFinished = false;
}

void TForm2::CreateAnswerControls()
{
    QWidget* page = panel3->content();
    dbt->setFont(fontItems.font);
    ApplyTextColor(*dbt, fontItems.color);
    const QFontMetrics metrics(fontAnswers.font);
    const int probeWidth = metrics.horizontalAdvance(QStringLiteral("WQT"));
    const int probeHeight = metrics.height();
    for (int slot = 0; slot < gMaxAnswers; ++slot) {
        QAbstractButton* control = nullptr;
        if (gControlType == 1) {
            control = new QCheckBox(page);
        } else if (gControlType == 2) {
            auto* radio = new QRadioButton(page);
            radio->setAutoExclusive(false);  // the run's answers decide what is checked
            control = radio;
        } else {
            auto* button = new QToolButton(page);
            button->setCheckable(true);
            button->resize(probeWidth > 100 ? probeWidth : 100, probeHeight > 25 ? probeHeight : 25);
            control = button;
        }
        control->setObjectName(QStringLiteral("answer") + QString::number(slot));
        control->setProperty("tag", slot);
        control->setFont(fontAnswers.font);
        ApplyTextColor(*control, fontAnswers.color);
        control->hide();
        connect(control, &QAbstractButton::clicked, this, guardedSlot([this, control] { AnswerClick(control); }));
        answerControls_.push_back(control);
    }
    if (gTypedLastAnswer) {
        editCaption_ = new QLabel(page);
        editCaption_->setProperty("tag", -1);
        editCaption_->setFont(fontAnswers.font);
        ApplyTextColor(*editCaption_, fontAnswers.color);
        editCaption_->setWordWrap(false);
        editCaption_->hide();
        for (int slot = 0; slot < gMaxAnswers; ++slot) {
            auto* edit = new QLineEdit(page);
            edit->setObjectName(QStringLiteral("answer_") + QString::number(slot));
            edit->setProperty("tag", slot);
            edit->setFont(fontAnswers.font);
            ApplyTextColor(*edit, fontAnswers.color);
            edit->setMaxLength(255);
            KeepPrintable(edit);
            edit->resize(probeWidth >= 101 ? probeWidth : 100, edit->sizeHint().height());
            edit->hide();
            connect(edit, &QLineEdit::textEdited, this, guardedSlot([this, edit] {
                        if (gTypedParse == 1 || gTypedParse == 2) {
                            const QString lower = edit->text().toLower();
                            if (lower != edit->text()) {
                                const int cursor = edit->cursorPosition();
                                edit->setText(lower);
                                edit->setCursorPosition(cursor);
                            }
                        }
                        AnswerEditChange(edit);
                    }));
            answerEdits_.push_back(edit);
        }
    }
    prior = new QToolButton(page);
    next = new QToolButton(page);
    prior->setObjectName(QStringLiteral("prior"));
    next->setObjectName(QStringLiteral("next"));
    prior->setProperty("tag", -1);
    next->setProperty("tag", -2);
    const QString priorCaption = SettingValue(SettingId::PriorButton).value_or(QString());
    const QString nextCaption = SettingValue(SettingId::NextButton).value_or(QString());
    SetCaption(*prior, priorCaption);
    SetCaption(*next, nextCaption);
    prior->setAccessibleName(priorCaption.isEmpty() ? QStringLiteral("Previous question") : priorCaption);
    next->setAccessibleName(nextCaption.isEmpty() ? QStringLiteral("Next question") : nextCaption);
    for (QToolButton* button : {prior, next}) {
        button->setFont(fontAnswers.font);
        ApplyTextColor(*button, fontAnswers.color);
        button->hide();
    }
    if (!priorCaption.isEmpty() && !nextCaption.isEmpty()) {
        const int textWidth = std::max(metrics.horizontalAdvance(priorCaption), metrics.horizontalAdvance(nextCaption));
        prior->resize(std::max(2 * textWidth, 100), std::max(2 * probeHeight, 25));
    } else {
        prior->resize(100, 25);
    }
    next->resize(prior->size());
    connect(prior, &QToolButton::clicked, this, guardedSlot([this] { PriorClick(); }));
    connect(next, &QToolButton::clicked, this, guardedSlot([this] { NextClick(); }));

    status->setVisible(isTrueText(SettingValue(SettingId::StatusBarVisible).value_or(QString())));
    Panel3Resize();
    if (const std::optional<QString> color = SettingValue(SettingId::TestPanelColor)) {
        try {
            panel3->setPageColor(ColorFromName(*color));
        } catch (const std::invalid_argument&) {
            // a colour that does not convert leaves the page as it is
        }
    }
}

// --- showing a question -----------------------------------------------------------------

int TForm2::CurrentAnswerCount() const { return currentAnswerCount_; }

void TForm2::ShowItem()
{
    if (gCurrentItem < 0 || gCurrentItem >= gItems.rows()) {
        FinishTest(true);
        return;
    }
    const int pageWidth = std::max(panel3->viewport()->width(), width());
    QWidget* page = panel3->content();
    const QString caption = gItems.text(gCurrentItem, 1);
    currentEditcap_ = gItems.text(gCurrentItem, 2);
    dbt->setText(caption);
    dbt->setGeometry(0, 0, pageWidth, dbt->heightForWidth(pageWidth) > 0 ? dbt->heightForWidth(pageWidth)
                                                                           : dbt->sizeHint().height());
    dbt->show();
    const int base = dbt->y() + dbt->height() + prior->height();
    int rowHeight = prior->height();

    const auto itemAnswers = gAnswerCaptions.find(gItems.integer(gCurrentItem, 0));
    const QStringList answers = itemAnswers == gAnswerCaptions.end() ? QStringList() : itemAnswers->second;
    const int count = static_cast<int>(answers.size());
    currentAnswerCount_ = count;
    const QFontMetrics metrics(fontAnswers.font);
    int widest = 0;
    const bool typedLast = gTypedLastAnswer && !currentEditcap_.isEmpty();
    if (editCaption_)
        editCaption_->hide();

    std::vector<QWidget*> shown;
    const auto place = [&](int slot) {
        QAbstractButton* control = answerControls_[static_cast<std::size_t>(slot)];
        QLineEdit* edit = gTypedLastAnswer ? answerEdits_[static_cast<std::size_t>(slot)] : nullptr;
        control->hide();
        if (edit)
            edit->hide();
        if (slot >= count)
            return;
        const QString text = answers[slot];
        SetCaption(*control, text);
        if (edit)
            edit->clear();
        widest = std::max(widest, metrics.horizontalAdvance(text));
        const int textHeight = metrics.height();
        control->resize(control->width(), 2 * textHeight);
        rowHeight = control->height();
        if (gAnswerAlign == 0) {
            control->move(pageWidth / 10, control->y());
            if (edit)
                edit->move(pageWidth / 10, edit->y());
        }
        const int top = base + (slot + 1) * 2 * rowHeight;
        if (typedLast && slot == count - 1 && edit) {
            editCaption_->setText(currentEditcap_);
            editCaption_->adjustSize();
            editCaption_->move(edit->x(), top);
            edit->move(edit->x(), top + editCaption_->height());
            editCaption_->show();
            edit->show();
            edit->setFocus();
            shown.push_back(edit);
        } else {
            control->move(control->x(), top);
            control->show();
            shown.push_back(control);
        }
    };
    for (int slot = 0; slot < gMaxAnswers; ++slot)
        place(slot);

    next->move(next->x(), base + (count + 1) * 2 * rowHeight);
    int contentWidth = pageWidth;
    if (gAnswerAlign == 2) {
        const int priorLeft = std::max(pageWidth - prior->width() - pageWidth / 10, 0);
        prior->move(priorLeft, prior->y());
        next->move(priorLeft, next->y());
        const int left = pageWidth / 10;
        for (QWidget* control : shown)
            control->setGeometry(left, control->y(), std::max(priorLeft - 2 * left, 100), control->height());
    } else if (gAnswerAlign < 2) {
        const int w = std::max(2 * widest, 100);
        contentWidth = std::max(pageWidth, w + 100);
        int left = pageWidth / 10;
        for (QWidget* control : shown) {
            control->resize(w, control->height());
            if (gAnswerAlign == 1 && pageWidth / 2 - w / 2 > 0)
                control->move(pageWidth / 2 - w / 2, control->y());
            left = control->x();
        }
        next->move(left + w + w / 2, next->y());
        prior->move(next->x(), prior->y());
    }
    // "prior" stands level with the first answer row, "next" below the last one.
    prior->move(prior->x(), base + 2 * rowHeight);
    // The page scrolls far enough to reach the buttons beside wide answers too.
    contentWidth = std::max(contentWidth, next->x() + next->width());
    page->resize(contentWidth, next->y() + 2 * next->height());

    RestoreAnswerState();
    prior->setVisible(gCurrentItem > 0);
    next->setVisible(CanGoNext());
    if (status->isVisible()) {
        statusPanels[0]->setText(gStatusTexts[0] + QLatin1Char(' ') + QString::number(gCurrentItem + 1)
                                 + QLatin1Char('/') + QString::number(gItems.rows()));
        statusPanels[1]->setText(gStatusTexts[1] + QLatin1Char(' ') + QString::number(gItems.rows() - gCurrentItem - 1));
    }
}

void TForm2::RestoreAnswerState()
{
    gRestoring = true;
    const std::vector<QString>& cells = gAnswers[static_cast<std::size_t>(gCurrentItem)];
    for (QAbstractButton* control : answerControls_) {
        const int slot = TagOf(*control);
        SetChecked(*control, false);
        SetChecked(*control, !cells[static_cast<std::size_t>(slot)].isEmpty());
    }
    for (QLineEdit* edit : answerEdits_) {
        const int slot = TagOf(*edit);
        const QSignalBlocker blocker(edit);
        edit->setText(cells[static_cast<std::size_t>(slot)]);
        edit->end(false);
    }
    gRestoring = false;
}

// --- answering --------------------------------------------------------------------------

bool TForm2::CellsInBounds(int slot) const
{
    return gCurrentItem >= 0 && gCurrentItem < static_cast<int>(gAnswers.size()) && slot >= 0
           && slot < gMaxAnswers;
}

void TForm2::AnswerClick(QAbstractButton* sender)
{
    if (gRestoring || !gRunning || ending_)
        return;
    const int slot = TagOf(*sender);
    if (!CellsInBounds(slot)) {
        dialogs::error(QStringLiteral("Internal error! Error code: 100!\r\n\r\nYou should never see this error!\r\n\r\n"
                                      "If you get this error please send e-mail to: ")
                       + kSupportAddress);
        return;
    }
    std::vector<QString>& texts = gAnswers[static_cast<std::size_t>(gCurrentItem)];
    std::vector<int>& values = gAnswerValues[static_cast<std::size_t>(gCurrentItem)];
    const auto s = static_cast<std::size_t>(slot);
    if (gSingleAnswer)
        for (std::size_t other = 0; other < texts.size(); ++other)
            if (other != s) {
                texts[other].clear();
                values[other] = 0;
            }
    if (texts[s].isEmpty()) {
        values[s] = slot + 1;
        texts[s] = CaptionOf(*sender);
    } else {
        texts[s].clear();
        values[s] = 0;
        ++gCorrections;
    }
    if (gSingleAnswer)
        next->click();
    else
        RestoreAnswerState();
    if (next)
        next->setVisible(CanGoNext() && gRunning && !ending_);
}

void TForm2::AnswerEditChange(QLineEdit* edit)
{
    if (!edit->isVisible() || gRestoring || !gRunning || ending_)
        return;
    const int slot = TagOf(*edit);
    if (!CellsInBounds(slot)) {
        dialogs::error(QStringLiteral("Internal error! Error code: 117. If you get this error please send e-mail to: ")
                       + kSupportAddress);
        return;
    }
    std::vector<QString>& texts = gAnswers[static_cast<std::size_t>(gCurrentItem)];
    std::vector<int>& values = gAnswerValues[static_cast<std::size_t>(gCurrentItem)];
    const auto s = static_cast<std::size_t>(slot);
    texts[s] = edit->text();
    values[s] = -1;
    // A typed text that is one of the question's own answers counts as that answer. Only
    // this question's answers are candidates: the controls beyond them still carry the
    // captions of an earlier question.
    for (int t = std::min(currentAnswerCount_, gMaxAnswers) - 1; t >= 0; --t) {
        const QAbstractButton& control = *answerControls_[static_cast<std::size_t>(t)];
        if (!MatchTypedAnswer(*edit, control))
            continue;
        texts[static_cast<std::size_t>(t)] = CaptionOf(control);
        values[static_cast<std::size_t>(t)] = t + 1;
        if (t != slot) {
            texts[s].clear();
            values[s] = 0;
        }
        break;
    }
    next->setVisible(CanGoNext());
}

bool TForm2::MatchTypedAnswer(const QLineEdit& edit, const QAbstractButton& control) const
{
    const QString caption = CaptionOf(control);
    const QString typed = edit.text().trimmed();
    switch (gTypedParse) {
    case 0: return caption == typed;
    case 1: return caption.toLower() == typed.toLower();
    case 2: return RemoveSpaces(caption.toLower()) == RemoveSpaces(typed.toLower());
    default: return false;
    }
}

void TForm2::NormalizeTypedAnswers()
{
    if (gAnswerCaptions.size() != gAnswers.size() || gItems.rows() != static_cast<int>(gAnswers.size()))
        dialogs::error(QStringLiteral("Internal error! Error code: 178. If you get this error please send e-mail to: ")
                       + kSupportAddress);
    // Matched by question id, so that a question without answers shifts nothing.
    for (int q = 0; q < static_cast<int>(gAnswers.size()) && q < gItems.rows(); ++q) {
        if (gItems.text(q, 2).isEmpty())
            continue;
        const auto answers = gAnswerCaptions.find(gItems.integer(q, 0));
        const int count = answers == gAnswerCaptions.end() ? 0 : static_cast<int>(answers->second.size());
        if (count <= 0 || count > gMaxAnswers)
            continue;
        QString& text = gAnswers[static_cast<std::size_t>(q)][static_cast<std::size_t>(count - 1)];
        text = text.trimmed();
        if (gTypedParse == 2)
            text = RemoveSpaces(text);
    }
}

// --- moving -----------------------------------------------------------------------------

bool TForm2::CanGoNext() const
{
    if (gAllowNoAnswer)
        return true;
    if (gCurrentItem < 0 || gCurrentItem >= static_cast<int>(gAnswers.size()))
        return false;
    for (const QString& text : gAnswers[static_cast<std::size_t>(gCurrentItem)])
        if (!text.isEmpty())
            return true;
    return false;
}

void TForm2::PriorClick()
{
    if (!gRunning || ending_ || gCurrentItem <= 0)
        return;
    --gCurrentItem;
    ++gGoBack;
    ShowItem();
}

void TForm2::NextClick()
{
    if (!gRunning || ending_)
        return;
    if (gCurrentItem < gItems.rows() - 1) {
        ++gCurrentItem;
        ShowItem();
        return;
    }
    const QString question = SettingValue(SettingId::LastQuestionQuestion)
                                 .value_or(QStringLiteral("This is last question in test! End test?"));
    if (dialogs::question(question, MessageKind::Information))
        FinishTest(true);
}

// --- keys and time ------------------------------------------------------------------------

QLineEdit* TForm2::FocusedAnswerEdit() const
{
    for (QLineEdit* edit : answerEdits_)
        if (edit->hasFocus() && edit->isVisible())
            return edit;
    return nullptr;
}

QAbstractButton* TForm2::ShortcutTarget(int virtualKey) const
{
    if (virtualKey >= 96 && virtualKey <= 105)
        virtualKey -= 48;
    if (virtualKey <= 0 || virtualKey > 0xFFFF || gKeys.isNull())
        return nullptr;
    const QString pressed = QString(QChar(virtualKey)).toLower();
    const int rows = std::min(gKeys.rows(), currentAnswerCount_);
    for (int r = 0; r < rows; ++r) {
        if (gKeys.text(r, 1).toLower() != pressed)
            continue;
        const int slot = gKeys.integer(r, 0) - 1;
        if (slot < 0 || slot >= currentAnswerCount_ || slot >= gMaxAnswers)
            return nullptr;
        QAbstractButton* control = answerControls_[static_cast<std::size_t>(slot)];
        if (control->isVisible())
            return control;
        // The typed last answer stands in for its control.
        if (slot < static_cast<int>(answerEdits_.size()) && answerEdits_[static_cast<std::size_t>(slot)]->isVisible())
            return control;
        return nullptr;
    }
    return nullptr;
}

bool TForm2::FormKeyUp(int virtualKey, Qt::KeyboardModifiers modifiers)
{
    if (!panel3->isVisible() || !gRunning || ending_)
        return false;
    const Qt::KeyboardModifiers plain = modifiers & ~Qt::KeypadModifier;
    if (virtualKey == Qt::Key_NumLock && gKeyboardOn) {
        ForceNumLockOn();
        return true;
    }
    if (virtualKey == Qt::Key_Home && plain == (Qt::ControlModifier | Qt::AltModifier)) {
        if (panel1->tag == 1) {
            panel3->hide();
            ShowPage(panel1);
            return true;
        }
        if (panel2->tag == 1) {
            panel3->hide();
            ShowPage(panel2);
            return true;
        }
        return false;
    }
    if (virtualKey == Qt::Key_Home && plain == Qt::ControlModifier) {
        gCurrentItem = 0;
        ShowItem();
        return true;
    }
    if (virtualKey == Qt::Key_End && (plain & Qt::ControlModifier)) {
        if (gAllowNoAnswer) {
            gCurrentItem = gItems.rows() - 1;
            ShowItem();
        }
        return true;
    }
    if (virtualKey == Qt::Key_PageUp) {
        PriorClick();
        return true;
    }
    if (virtualKey == Qt::Key_PageDown) {
        if (CanGoNext())
            NextClick();
        return true;
    }
    if (!gKeyboardOn)
        return false;
    const bool keypad = virtualKey >= 96 && virtualKey <= 105;
    QAbstractButton* target = ShortcutTarget(virtualKey);
    if (!target)
        return false;
    if (FocusedAnswerEdit() == nullptr) {
        AnswerClick(target);
        return true;
    }
    const bool mainRowDigit = !keypad && virtualKey >= Qt::Key_0 && virtualKey <= Qt::Key_9;
    if (mainRowDigit)
        return false;  // the digit belongs to the typed text
    if (TagOf(*target) != currentAnswerCount_ - 1) {
        AnswerClick(target);
        return true;
    }
    QApplication::beep();
    return false;
}

void TForm2::timerTimer()
{
    if (!gRunning || ending_)
        return;
    ++gElapsed;
    if (gElapsed >= gTimeLimit) {
        timer->stop();
        FinishTest(true);
        return;
    }
    if (status->isVisible()) {
        const qint64 elapsed = gStartTime.secsTo(QDateTime::currentDateTime());
        statusPanels[2]->setText(gStatusTexts[2] + QLatin1Char(' ') + DurationText(elapsed));
        statusPanels[3]->setText(gStatusTexts[3] + QLatin1Char(' ') + DurationText(gTimeLimit - elapsed));
    }
}

}  // namespace kelvo
