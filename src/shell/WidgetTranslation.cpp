#include "WidgetTranslation.h"

#include "QtText.h"
#include "options/LanguageFile.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTextEdit>
#include <QWidget>

namespace brimble {

void TTranslationReport::Unmapped(const std::string& window, const std::string& what) {
    if (!FTold.insert(window + "." + what).second || !FLog) return;
    FLog("Language file: " + window + "." + what + " has no place in this window; left out");
}

QStringList TranslatedList(const TLanguageNode& list, QStringList current) {
    if (list.ListText) {
        QString text = Q(*list.ListText);
        text.remove(QLatin1Char('\r'));
        return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    for (const auto& [index, value] : list.ListEntries()) {
        if (index < current.size())
            current[index] = Q(value);
        else if (index == current.size())
            current.append(Q(value)); // a list that grows in file order
    }
    return current;
}

namespace {

// The tab widget whose page Widget is, and the page's index; -1 when it is no page.
int PageIndex(QWidget& widget, QTabWidget*& tabs) {
    for (QWidget* up = widget.parentWidget(); up; up = up->parentWidget())
        if ((tabs = qobject_cast<QTabWidget*>(up)) != nullptr) return tabs->indexOf(&widget);
    return -1;
}

bool SetCaption(QObject& target, const QString& text) {
    if (auto* action = qobject_cast<QAction*>(&target)) return action->setText(text), true;
    auto* widget = qobject_cast<QWidget*>(&target);
    if (!widget) return false;
    QTabWidget* tabs = nullptr;
    if (const int page = PageIndex(*widget, tabs); page >= 0) {
        tabs->setTabText(page, text);
        return true;
    }
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        // A label that shows rich text takes the file's line breaks as line breaks.
        const bool rich =
            label->textFormat() == Qt::RichText ||
            (label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()));
        if (rich)
            return label->setText(QString(text)
                                      .replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
                                      .toHtmlEscaped()
                                      .replace(QLatin1Char('\n'), QStringLiteral("<br>"))),
                   true;
        return label->setText(text), true;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->setText(text), true;
    if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->setTitle(text), true;
    return false;
}

bool SetHint(QObject& target, const QString& text) {
    if (auto* action = qobject_cast<QAction*>(&target)) return action->setToolTip(text), true;
    if (auto* widget = qobject_cast<QWidget*>(&target)) return widget->setToolTip(text), true;
    return false;
}

bool SetItems(QObject& target, const TLanguageNode& items) {
    auto* box = qobject_cast<QComboBox*>(&target);
    if (!box) return false;
    QStringList current;
    for (int i = 0; i < box->count(); ++i)
        current.append(box->itemText(i));
    const QStringList texts = TranslatedList(items, current);
    const QSignalBlocker quiet(box);
    const int selected = box->currentIndex();
    box->clear();
    box->addItems(texts);
    box->setCurrentIndex(selected < box->count() ? selected : -1);
    return true;
}

bool SetLines(QObject& target, const TLanguageNode& lines) {
    const QString text = TranslatedList(lines, {}).join(QLatin1Char('\n'));
    if (auto* label = qobject_cast<QLabel*>(&target)) return label->setText(text), true;
    if (auto* edit = qobject_cast<QPlainTextEdit*>(&target)) return edit->setPlainText(text), true;
    if (auto* edit = qobject_cast<QTextEdit*>(&target)) return edit->setPlainText(text), true;
    return false;
}

} // namespace

void FitTexts(QWidget& window) {
    for (QWidget* widget : window.findChildren<QWidget*>()) {
        const bool text = qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget);
        if (!text || !widget->parentWidget() || widget->parentWidget()->layout()) continue;
        if (auto* label = qobject_cast<QLabel*>(widget); label && label->wordWrap()) continue;
        QFont font = widget->font();
        const qreal normal = window.font().pointSizeF();
        if (normal <= 0) continue; // sized in pixels: left as it is
        font.setPointSizeF(normal);
        widget->setFont(font);
        while (widget->sizeHint().width() > widget->width() &&
               font.pointSizeF() - 0.5 >= normal * 0.75) {
            font.setPointSizeF(font.pointSizeF() - 0.5);
            widget->setFont(font);
        }
    }
}

void TranslateWidgets(QWidget& window, const TLanguageNode& element, TTranslationReport& report,
                      const TTranslateHook& hook) {
    const std::string& windowName = element.Name;
    for (const auto& [name, value] : element.Attributes) {
        if (name == "Caption")
            window.setWindowTitle(Q(value));
        else
            report.Unmapped(windowName, name);
    }
    for (const TLanguageNode& child : element.Children) {
        if (child.Name == "Variables") continue; // the message texts, read by the engine
        if (hook && hook(child)) continue;
        QObject* target = window.findChild<QObject*>(Q(child.Name), Qt::FindChildrenRecursively);
        if (!target) {
            report.Unmapped(windowName, child.Name);
            continue;
        }
        for (const auto& [name, value] : child.Attributes) {
            const bool mapped = name == "Caption" ? SetCaption(*target, Q(value))
                                : name == "Hint"  ? SetHint(*target, Q(value))
                                : name == "Text"  ? [&] {
                                      auto* edit = qobject_cast<QLineEdit*>(target);
                                      return edit && (edit->setText(Q(value)), true);
                                  }()
                                                  : false;
            if (!mapped) report.Unmapped(windowName, child.Name + "." + name);
        }
        for (const TLanguageNode& property : child.Children) {
            const bool mapped = property.Name == "Items"   ? SetItems(*target, property)
                                : property.Name == "Lines" ? SetLines(*target, property)
                                                           : false;
            if (!mapped) report.Unmapped(windowName, child.Name + "." + property.Name);
        }
    }
}

} // namespace brimble
