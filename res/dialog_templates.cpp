#include <vector>

#include "res/dialog_template.h"
#include "res/resource.h"
#include "res/version_number.h"

namespace {

// One row of res/dialogs.def: a dialog's head, one of its controls, or its end.
enum class RowKind { DIALOG, CONTROL, END };

struct TemplateRow {
  RowKind kind;
  DialogTemplate dialog;
  ControlTemplate control;
};

constexpr ControlClass STATIC = ControlClass::STATIC;
constexpr ControlClass BUTTON = ControlClass::BUTTON;

// The font size is the Windows resource script's: the Qt dialogs take the
// application's font, so that a larger desktop font grows them.
#define DIALOG(id, caption, width, height, style, ex_style, font_points) \
  {RowKind::DIALOG, {id, caption, width, height, (style) | (ex_style), {}}, {}},
#define CONTROL_ITEM(id, control_class, text, x, y, width, height, style) \
  {RowKind::CONTROL, {}, {id, control_class, text, x, y, width, height, style}},
#define ICON_ITEM(id, icon, x, y, width, height, style) \
  {RowKind::CONTROL, {}, {id, STATIC, "", x, y, width, height, style, icon}},
#define DIALOG_END() {RowKind::END, {}, {}},

const TemplateRow ROWS[] = {
#include "res/dialogs.def"
};

#undef DIALOG
#undef CONTROL_ITEM
#undef ICON_ITEM
#undef DIALOG_END
#undef LABEL

struct Dialogs {
  std::vector<DialogTemplate> dialogs;
  std::vector<std::vector<ControlTemplate>> controls;
};

// The rows gathered into templates, once; never freed, as the resources of a
// program live as long as it does.
const Dialogs& dialogs() {
  static const Dialogs* all = [] {
    auto* built = new Dialogs;
    for (const TemplateRow& row : ROWS) {
      if (row.kind == RowKind::DIALOG) {
        built->dialogs.push_back(row.dialog);
        built->controls.emplace_back();
      } else if (row.kind == RowKind::CONTROL) {
        built->controls.back().push_back(row.control);
      }
    }
    for (std::size_t i = 0; i < built->dialogs.size(); ++i) {
      built->dialogs[i].controls = built->controls[i];
    }
    return built;
  }();
  return *all;
}

}  // namespace

const DialogTemplate* load_dialog_template(int id) {
  for (const DialogTemplate& dialog : dialogs().dialogs) {
    if (dialog.id == id) return &dialog;
  }
  return nullptr;
}
