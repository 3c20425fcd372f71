// A host of the library: checks the account totals of one fiscal year and lists the keys whose
// stored closing balance differs from the journal's.
//   check_accounts CONNECTION COMPANY YEAR SEQUENCE
// Exit code 0 when nothing differs, 1 when some total does, 2 on bad parameters, 3 on failure.
#include <veriprog/main_object.h>

#include <iostream>
#include <memory>
#include <string>

namespace {

// Progress of the check, one line a step.
class Progress : public veriprog::VeriprogEvents {
 public:
  void BeginControlloProgressiviContabili(veriprog::db::Variant& steps) override {
    steps_ = steps.ToText();
  }
  void AvanzamentoControlloProgressiviContabili(veriprog::db::Variant& step) override {
    std::cerr << "step " << step.ToText() << " of " << steps_ << "\n";
  }

 private:
  std::string steps_;
};

// A field as text; amounts exactly, with their scale.
std::string Text(veriprog::db::Recordset& rows, const char* field) {
  const veriprog::db::Variant& value = rows.Get(field);
  if (value.kind() == veriprog::db::Variant::Kind::kDecimal) return value.AsDecimal().ToString();
  return value.ToText();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: check_accounts CONNECTION COMPANY YEAR SEQUENCE\n";
    return 2;
  }
  veriprog::CLSCG_VERIPROG main;
  main.Advise(std::make_shared<Progress>());
  auto& in = *main.CPInput();
  in.SConnect = std::string(argv[1]);
  in.Ditta = std::string(argv[2]);
  in.Esercizio = std::string(argv[3]);
  in.Progressivo = std::string(argv[4]);
  main.ControlloProgressiviContabili();
  if (main.Stato() != veriprog::tsOk) {
    std::cerr << main.Errore() << "\n";
    return main.Stato() == veriprog::tsParametriNonValidi ? 2 : 3;
  }
  auto rows = main.CPOutput()->RecSetControlloProgressivi;
  int flagged = 0, total = 0;
  for (rows->MoveFirst(); !rows->eof(); rows->MoveNext()) {
    ++total;
    if (Text(*rows, "FLAGSBIL").rfind("Si", 0) != 0) continue;
    ++flagged;
    std::cout << Text(*rows, "CONTO") << " branch " << Text(*rows, "SEDE") << " "
              << Text(*rows, "VALUTA") << ": journal " << Text(*rows, "SALDOFINALEMOV")
              << ", stored " << Text(*rows, "SALDOFINALEPROGR") << "\n";
  }
  std::cout << total << " keys, " << flagged << " differing\n";
  return flagged == 0 ? 0 : 1;
}
