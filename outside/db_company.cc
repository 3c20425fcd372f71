#include <map>

#include "db/sql_text.h"
#include "veriprog/company.h"
#include "veriprog/error.h"
#include "veriprog/recordset.h"

namespace veriprog::outside {
namespace {

// The company's row of CG18_DITTE, read once, when a value is first asked for.
class CompanyRecord {
 public:
  CompanyRecord(std::shared_ptr<db::Connection> connection, db::Variant ditta)
      : connection_(std::move(connection)), ditta_(std::move(ditta)) {}

  db::Variant Value(const char* field) {
    if (!loaded_) Load();
    return row_.Get(field);
  }

  // A company given as a number is read at once, so that a code with no company fails when the
  // company object is made; an absent or malformed code waits for the parameter checks.
  void LoadIfGiven() {
    if (!loaded_ && ditta_.IsPresent() && ditta_.ToInteger()) Load();
  }

 private:
  void Load() {
    const auto code = ditta_.ToInteger();
    if (!code) throw db::OutsideError("codice ditta non valido: '" + ditta_.ToText() + "'");
    if (!connection_) throw db::OutsideError("nessuna connessione per leggere la ditta");
    row_.Open("SELECT * FROM CG18_DITTE WHERE CG18_DITTA = " + db::SqlNumber(*code), connection_);
    row_.Detach();
    if (row_.eof()) throw db::OutsideError("ditta " + std::to_string(*code) + " non trovata");
    loaded_ = true;
  }

  std::shared_ptr<db::Connection> connection_;
  db::Variant ditta_;
  db::Recordset row_;
  bool loaded_ = false;
};

class Accounting final : public CompanyAccounting {
 public:
  explicit Accounting(std::shared_ptr<CompanyRecord> record) : record_(std::move(record)) {}
  db::Variant GruppoPianoConti() override { return record_->Value("CG18_GRUPPO_CG10"); }
  db::Variant FlagGestioneSezionaliIva() override { return record_->Value("CG18_FLGGESTSEZIVA"); }
  db::Variant DataAttivazioneSezionali() override { return record_->Value("CG18_DATAATTSEZIVA"); }

 private:
  std::shared_ptr<CompanyRecord> record_;
};

class VatRegisters final : public CompanyVatRegisters {
 public:
  explicit VatRegisters(std::shared_ptr<CompanyRecord> record) : record_(std::move(record)) {}
  db::Variant DataUltimaStampaRiepilogativo() override {
    return record_->Value("CG18_DATAULTSTAMPARIEP");
  }

 private:
  std::shared_ptr<CompanyRecord> record_;
};

class Plain final : public CompanyObject {
 public:
  explicit Plain(int kind) : kind_(kind) {}
  int kind() const override { return kind_; }

 private:
  int kind_;
};

class Base final : public CompanyBase {
 public:
  explicit Base(std::shared_ptr<CompanyRecord> record) : record_(std::move(record)) {}
  void SetSubObject(std::shared_ptr<CompanyObject> sub) override {
    if (sub) subs_[sub->kind()] = std::move(sub);
  }
  std::shared_ptr<CompanyObject> SubObject(int kind) const override {
    auto it = subs_.find(kind);
    return it == subs_.end() ? nullptr : it->second;
  }
  db::Variant CodicePianoConti() override { return record_->Value("CG18_CODPDC"); }

 private:
  std::shared_ptr<CompanyRecord> record_;
  std::map<int, std::shared_ptr<CompanyObject>> subs_;
};

class DbCompanyFactory final : public CompanyFactory {
 public:
  void SetConnection(std::shared_ptr<db::Connection> connection) override {
    connection_ = std::move(connection);
  }

  std::shared_ptr<CompanyObject> GetObject(const db::Variant& ditta, int kind) override {
    const std::string key = ditta.ToText();
    auto& record = records_[key];
    if (!record) record = std::make_shared<CompanyRecord>(connection_, ditta);
    switch (kind) {
      case kDittaBase:
        record->LoadIfGiven();
        return std::make_shared<Base>(record);
      case kDittaContabilita:
        return std::make_shared<Accounting>(record);
      case kDittaRegistriIva:
        return std::make_shared<VatRegisters>(record);
      default:
        return std::make_shared<Plain>(kind);
    }
  }

 private:
  std::shared_ptr<db::Connection> connection_;
  std::map<std::string, std::shared_ptr<CompanyRecord>> records_;
};

}  // namespace

std::unique_ptr<CompanyFactory> MakeDbCompanyFactory() {
  return std::make_unique<DbCompanyFactory>();
}

}  // namespace veriprog::outside
