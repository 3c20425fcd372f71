// The parameter object (CPInput), the result object (CPOutput) and the class that carries the
// enumerations. Plain fields, no validation: the operations of the main object check them.
// Each object writes its trace line when created and destroyed. The connection in GConnect and
// the record sets in CPOutput are shared with the host; releasing them never closes them.
//
// `IndicatoreTipoContabilita` stands for the accented IndicatoreTipoContabilità, which is not a
// portable C++ identifier.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "veriprog/connection.h"
#include "veriprog/enums.h"
#include "veriprog/recordset.h"
#include "veriprog/trace.h"
#include "veriprog/variant.h"

namespace veriprog {

class CLSCG_VERIPROGINPUT {
 public:
  CLSCG_VERIPROGINPUT();
  ~CLSCG_VERIPROGINPUT();
  CLSCG_VERIPROGINPUT(const CLSCG_VERIPROGINPUT&) = delete;
  CLSCG_VERIPROGINPUT& operator=(const CLSCG_VERIPROGINPUT&) = delete;

  bool EseguiTransazione = false;            // rebuilds write inside one transaction
  std::shared_ptr<db::Connection> GConnect;  // the host's connection, or the one opened here
  db::Variant SConnect;                      // connection string, used while GConnect is unset
  db::Variant Ditta;                         // company
  db::Variant Esercizio;                     // fiscal year
  db::Variant Progressivo;                   // fiscal-year sequence
  db::Variant Anno;                          // calendar year (VAT families)
  db::Variant CodiceSede;                    // branch
  bool ElaborazionePerAttivita = false;      // VAT operations per activity
  db::Variant CodiceAttivita;                // activity code
  db::Variant IDAttivita;                    // activity identifier
  int IndicatoreTipoContabilita = 0;         // kind of bookkeeping, for the table names

  const std::string& GetIDIstanza() { return id_.Get(); }

 private:
  InstanceId id_;
};

// The parameter object's text fields by name, for hosts that set them by name (the C interface,
// a scheduler's settings): "SConnect", "Ditta", "Esercizio", "Progressivo", "Anno", "CodiceSede",
// "CodiceAttivita", "IDAttivita".
struct InputTextField {
  const char* name;
  db::Variant CLSCG_VERIPROGINPUT::*field;
};
const std::vector<InputTextField>& InputTextFields();
// The one of that name, or nullptr.
const InputTextField* FindInputTextField(std::string_view name);

class CLSCG_VERIPROGOUTPUT {
 public:
  CLSCG_VERIPROGOUTPUT();
  ~CLSCG_VERIPROGOUTPUT();
  CLSCG_VERIPROGOUTPUT(const CLSCG_VERIPROGOUTPUT&) = delete;
  CLSCG_VERIPROGOUTPUT& operator=(const CLSCG_VERIPROGOUTPUT&) = delete;

  std::shared_ptr<db::Recordset> RecSetControlloProgressivi;
  std::shared_ptr<db::Recordset> RecSetControlloProgressiviIVA;
  std::shared_ptr<db::Recordset> RecSetControlloProgressiviPlafond;
  std::shared_ptr<db::Recordset> RecSetControlloProgressiviRegimeMargine;
  std::shared_ptr<db::Recordset> RecSetControlloProgressiviAgricoltura;
  std::shared_ptr<db::Recordset> RecSetControlloProgressiviAgenzieViaggio;
  std::string TabTempControlloProgressiviIVA;

  const std::string& GetIDIstanza() { return id_.Get(); }

 private:
  InstanceId id_;
};

// Carries the enumerations StatoEnum and TipoEsigibilitaEnum; no members of its own.
class CLSCG_VERIPROGTIPI {
 public:
  CLSCG_VERIPROGTIPI();
  ~CLSCG_VERIPROGTIPI();
  CLSCG_VERIPROGTIPI(const CLSCG_VERIPROGTIPI&) = delete;
  CLSCG_VERIPROGTIPI& operator=(const CLSCG_VERIPROGTIPI&) = delete;

  const std::string& GetIDIstanza() { return id_.Get(); }

 private:
  InstanceId id_;
};

}  // namespace veriprog
