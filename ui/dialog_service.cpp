#include "ui/dialog_service.h"

#include "dataaware/verdict.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace kelvo {

namespace {

QString displayText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

QMessageBox::Icon iconFor(MessageKind kind)
{
    switch (kind) {
    case MessageKind::Information: return QMessageBox::Information;
    case MessageKind::Warning: return QMessageBox::Warning;
    case MessageKind::Error: return QMessageBox::Critical;
    case MessageKind::Question: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButton showBox(MessageKind kind, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    const QString& title = QStringLiteral("Kelvo"))
{
    QMessageBox box(iconFor(kind), title, displayText(text), buttons, QApplication::activeWindow());
    box.setAccessibleName(title);
    box.setAccessibleDescription(displayText(text));
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

bool presentInBox(MessageKind look, const QString& text, const QString& title, bool askYesNo)
{
    if (!askYesNo) {
        showBox(look, text, QMessageBox::Ok, title);
        return false;
    }
    return showBox(look, text, QMessageBox::Yes | QMessageBox::No, title) == QMessageBox::Yes;
}

}  // namespace

namespace dialogs {

void showInMessageBoxes() { setPresenter(presentInBox); }

QString openFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& folder)
{
    if (DialogScript* script = DialogScript::active())
        return script->nextFileAnswer();
    return QFileDialog::getOpenFileName(parent, caption, folder, filter, nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                     const QString& folder)
{
    if (DialogScript* script = DialogScript::active())
        return script->nextFileAnswer();
    return QFileDialog::getSaveFileName(parent, caption, folder, filter, nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

QString newFileName(QWidget* parent, const QString& caption, const QString& filter)
{
    if (DialogScript* script = DialogScript::active())
        return script->nextFileAnswer();
    return QFileDialog::getSaveFileName(parent, caption, {}, filter, nullptr,
                                        QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
}

FileChoice saveFileChoice(QWidget* parent, const QString& caption, const QStringList& filters,
                          const QString& defaultSuffix)
{
    if (DialogScript* script = DialogScript::active())
        return script->nextFileChoice(filters);
    QFileDialog dialog(parent, caption);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(filters);
    dialog.setSizeGripEnabled(true);
    const auto followFilter = [&dialog, defaultSuffix](const QString& filter) {
        // "Excel 2010 (*.xlsx)" gives "xlsx".
        const qsizetype star = filter.lastIndexOf(QStringLiteral("*."));
        const qsizetype end = filter.indexOf(u')', star);
        const QString suffix = star >= 0 && end > star ? filter.mid(star + 2, end - star - 2) : QString();
        dialog.setDefaultSuffix(suffix.isEmpty() || suffix.contains(u'*') ? defaultSuffix : suffix);
    };
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, followFilter);
    followFilter(filters.value(0));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return {dialog.selectedFiles().constFirst(), dialog.selectedNameFilter()};
}

std::optional<QString> inputText(QWidget* parent, const QString& caption, const QString& label,
                                 const QString& value)
{
    if (DialogScript* script = DialogScript::active())
        return script->nextInputAnswer();
    bool ok = false;
    const QString text = QInputDialog::getText(parent, caption, label, QLineEdit::Normal, value, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

}  // namespace dialogs

void ShowNotice(const dataaware::Notice& notice)
{
    switch (notice.kind) {
    case dataaware::NoticeKind::Information: dialogs::information(notice.text); break;
    case dataaware::NoticeKind::Warning: dialogs::warning(notice.text); break;
    case dataaware::NoticeKind::Error: dialogs::error(notice.text); break;
    }
}

}  // namespace kelvo
