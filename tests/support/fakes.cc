#include "tests/support/fakes.h"

#include <map>

namespace veriprog::testing {
namespace {

class Accounting final : public outside::CompanyAccounting {
 public:
  explicit Accounting(std::shared_ptr<FakeCompany> c) : c_(std::move(c)) {}
  db::Variant GruppoPianoConti() override { return c_->group; }
  db::Variant FlagGestioneSezionaliIva() override { return c_->vat_sections; }
  db::Variant DataAttivazioneSezionali() override { return c_->sections_from; }

 private:
  std::shared_ptr<FakeCompany> c_;
};

class VatRegisters final : public outside::CompanyVatRegisters {
 public:
  explicit VatRegisters(std::shared_ptr<FakeCompany> c) : c_(std::move(c)) {}
  db::Variant DataUltimaStampaRiepilogativo() override { return c_->last_summary_print; }

 private:
  std::shared_ptr<FakeCompany> c_;
};

class Base final : public outside::CompanyBase {
 public:
  explicit Base(std::shared_ptr<FakeCompany> c) : c_(std::move(c)) {}
  void SetSubObject(std::shared_ptr<outside::CompanyObject> sub) override {
    subs_[sub->kind()] = sub;
  }
  std::shared_ptr<outside::CompanyObject> SubObject(int kind) const override {
    auto it = subs_.find(kind);
    return it == subs_.end() ? nullptr : it->second;
  }
  db::Variant CodicePianoConti() override { return c_->code; }

 private:
  std::shared_ptr<FakeCompany> c_;
  std::map<int, std::shared_ptr<outside::CompanyObject>> subs_;
};

class Plain final : public outside::CompanyObject {
 public:
  explicit Plain(int kind) : kind_(kind) {}
  int kind() const override { return kind_; }

 private:
  int kind_;
};

class Factory final : public outside::CompanyFactory {
 public:
  explicit Factory(std::shared_ptr<FakeCompany> c) : c_(std::move(c)) { ++c_->factories; }
  void SetConnection(std::shared_ptr<db::Connection>) override {}
  std::shared_ptr<outside::CompanyObject> GetObject(const db::Variant&, int kind) override {
    ++c_->objects;
    if (c_->fail) throw db::DbError("componente ditta non disponibile");
    if (kind == outside::kDittaBase) return std::make_shared<Base>(c_);
    if (kind == outside::kDittaContabilita) return std::make_shared<Accounting>(c_);
    if (kind == outside::kDittaRegistriIva) return std::make_shared<VatRegisters>(c_);
    return std::make_shared<Plain>(kind);
  }

 private:
  std::shared_ptr<FakeCompany> c_;
};

class FiscalYear final : public outside::FiscalYearObject {
 public:
  explicit FiscalYear(std::shared_ptr<FakeCompany> c) : c_(std::move(c)) {}
  void Load(std::shared_ptr<db::Connection>, const db::Variant&, const db::Variant&,
            const db::Variant&, const db::Variant&) override {}
  int ErrorIndicator() const override { return c_->fiscal_start.is_null() ? 1 : 0; }
  db::Variant DataInizio() const override { return c_->fiscal_start; }
  db::Variant DataFine() const override { return c_->fiscal_end; }

 private:
  std::shared_ptr<FakeCompany> c_;
};

}  // namespace

outside::OutsideComponents FakeOutside(std::shared_ptr<FakeCompany> company) {
  auto out = outside::OutsideComponents::Defaults();
  out.company_factory = [company]() -> std::unique_ptr<outside::CompanyFactory> {
    return std::make_unique<Factory>(company);
  };
  out.fiscal_year = [company]() -> std::unique_ptr<outside::FiscalYearObject> {
    return std::make_unique<FiscalYear>(company);
  };
  return out;
}

}  // namespace veriprog::testing
