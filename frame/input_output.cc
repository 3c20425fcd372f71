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

}  // namespace veriprog
