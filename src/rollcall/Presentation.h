// How a pick reads: the seat wording, the position line under the member list and the
// caption of the big name label in each presentation form.
#pragma once

#include <QString>
#include <optional>

namespace rostrel::rollcall {

// "3-5" reads "3行5列": every "-" becomes "行" and "列" is appended.
QString seatWording(QString text);

// "第 2 组 5 号 ，S N" (the comma is the full-width U+FF0C).
QString positionLine(int group, int member, const QString& key, const QString& text);

// The caption of lblXm for presentation form `form` (the entry of cmbXs) in `category`
// (0 name list, 1 number, 2 row-column). nullopt when no form is selected or the category
// has no such form: the label then keeps its caption.
std::optional<QString> pickCaption(int category, int form, int group, int member, const QString& key,
                                   const QString& text);

} // namespace rostrel::rollcall
