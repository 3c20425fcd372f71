#include "veriprog/input_output.h"

namespace veriprog {

CLSCG_VERIPROGINPUT::CLSCG_VERIPROGINPUT() {
  TraceObject(id_, true, "CLSCG_VERIPROGINPUT");
}
CLSCG_VERIPROGINPUT::~CLSCG_VERIPROGINPUT() {
  TraceObject(id_, false, "CLSCG_VERIPROGINPUT");
  GConnect.reset();  // released, not closed: the host may still hold it
}

CLSCG_VERIPROGOUTPUT::CLSCG_VERIPROGOUTPUT() {
  TraceObject(id_, true, "CLSCG_VERIPROGOUTPUT");
}
CLSCG_VERIPROGOUTPUT::~CLSCG_VERIPROGOUTPUT() {
  TraceObject(id_, false, "CLSCG_VERIPROGOUTPUT");
}

CLSCG_VERIPROGTIPI::CLSCG_VERIPROGTIPI() {
  TraceObject(id_, true, "CLSCG_VERIPROGTIPI");
}
CLSCG_VERIPROGTIPI::~CLSCG_VERIPROGTIPI() {
  TraceObject(id_, false, "CLSCG_VERIPROGTIPI");
}

const std::vector<InputTextField>& InputTextFields() {
  using In = CLSCG_VERIPROGINPUT;
  static const std::vector<InputTextField> fields = {{"SConnect", &In::SConnect},
                                                     {"Ditta", &In::Ditta},
                                                     {"Esercizio", &In::Esercizio},
                                                     {"Progressivo", &In::Progressivo},
                                                     {"Anno", &In::Anno},
                                                     {"CodiceSede", &In::CodiceSede},
                                                     {"CodiceAttivita", &In::CodiceAttivita},
                                                     {"IDAttivita", &In::IDAttivita}};
  return fields;
}

const InputTextField* FindInputTextField(std::string_view name) {
  for (const auto& f : InputTextFields()) {
    if (name == f.name) return &f;
  }
  return nullptr;
}

}  // namespace veriprog
