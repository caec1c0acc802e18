#include "DateBoxes.h"

#include "Prompts.h"

namespace orvik::statements {

bool readRange(app::RocDateEdit* from, const QLabel* fromCaption, app::RocDateEdit* to,
               const QLabel* toCaption, DateRange* out) {
    QString name = fromCaption->text();
    name.remove(QLatin1Char('&'));
    (void)toCaption;
    // The second box of a range is named by the range's caption: "至" alone says nothing.
    for (auto [box, caption] :
         {std::pair{from, name}, std::pair{to, name + QStringLiteral("（迄）")}}) {
        if (!box->isEmptyOrValid()) {
            app::MsgBox(app::badDateMessage(caption), app::Buttons::OK, app::Icon::Exclamation);
            box->setFocus();
            return false;
        }
    }
    *out = DateRange{from->date(), to->date()};
    if (out->from.isValid() && out->to.isValid() && out->from > out->to) {
        app::MsgBox(QStringLiteral("起日晚於迄日，請重新輸入"), app::Buttons::OK,
                    app::Icon::Exclamation);
        from->setFocus();
        return false;
    }
    return true;
}

}  // namespace orvik::statements
