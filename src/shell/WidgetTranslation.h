#pragma once

// How a window's element of a language file reaches its Qt widgets. The described property
// names map as follows:
//   the window element's Caption    -> the window title
//   a child element                 -> the widget or action of that object name
//   Caption                         -> the text of a label, button, check box, radio button
//                                      or action, the title of a group box, the tab text
//                                      of a page
//   Hint                            -> the tool tip
//   Items (entries or a CDATA text) -> the items of a combo box, by index or all at once
//   Lines (entries or a CDATA text) -> the text of a label or a text edit, one line each
//   Text                            -> the text of a line edit
// Everything else (Font, Panels, TitleCaptions, ItemsEx, a name no control has) is told to
// the report once per window and name, so nothing is dropped without a trace; a window
// handles what only it knows (a table's TitleCaptions, a radio group's Items) in its hook.

#include <QString>
#include <functional>
#include <set>
#include <string>

class QWidget;

namespace brimble {

struct TLanguageNode;

// A window's own handling of a child element; true when it took the element whole.
using TTranslateHook = std::function<bool(const TLanguageNode& child)>;

// Says what a language file holds that the windows cannot show, each thing once.
class TTranslationReport {
public:
    explicit TTranslationReport(std::function<void(const std::string&)> log = {})
        : FLog(std::move(log)) {}
    void SetLog(std::function<void(const std::string&)> log) { FLog = std::move(log); }
    void Unmapped(const std::string& window, const std::string& what);

private:
    std::function<void(const std::string&)> FLog;
    std::set<std::string> FTold;
};

void TranslateWidgets(QWidget& window, const TLanguageNode& element, TTranslationReport& report,
                      const TTranslateHook& hook = {});

// In a window of fixed places (no layout), a translated text longer than its control is set
// in a smaller type, down to three quarters of the size, rather than cut off.
void FitTexts(QWidget& window);

// A string-list property: entries by index over Current, or a CDATA text replacing it.
QStringList TranslatedList(const TLanguageNode& list, QStringList current);

} // namespace brimble
