// The company base component of the ledger system, as the component uses it: a factory that,
// given the connection, hands out objects of a company by kind; the base object (kind 4, kept as
// DittaBase) holds the sub-objects of kinds 5, 10, 9, 8, 6 and 18 attached to it. Only kinds 5
// and 6 carry data the operations read. Implementations may load lazily; a failure is an
// exception, which the calling routine's guard records.
#pragma once

#include <memory>
#include <string>

#include "veriprog/connection.h"
#include "veriprog/variant.h"

namespace veriprog::outside {

inline constexpr int kDittaBase = 4;
inline constexpr int kDittaContabilita = 5;  // chart-of-accounts group, VAT sections
inline constexpr int kDittaRegistriIva = 6;  // VAT registers
inline constexpr int kDittaSubObjectKinds[] = {5, 10, 9, 8, 6, 18};  // order of attachment

class CompanyObject {
 public:
  virtual ~CompanyObject() = default;
  virtual int kind() const = 0;
};

// Kind 5: the accounting settings of the company.
class CompanyAccounting : public CompanyObject {
 public:
  int kind() const override { return kDittaContabilita; }
  virtual db::Variant GruppoPianoConti() = 0;          // chart-of-accounts group
  virtual db::Variant FlagGestioneSezionaliIva() = 0;  // 1: VAT sections managed
  virtual db::Variant DataAttivazioneSezionali() = 0;  // their activation date
};

// Kind 6: the VAT registers of the company.
class CompanyVatRegisters : public CompanyObject {
 public:
  int kind() const override { return kDittaRegistriIva; }
  virtual db::Variant DataUltimaStampaRiepilogativo() = 0;  // last definitive summary print
};

// Kind 4: the company itself, holding its sub-objects.
class CompanyBase : public CompanyObject {
 public:
  int kind() const override { return kDittaBase; }
  virtual void SetSubObject(std::shared_ptr<CompanyObject> sub) = 0;
  virtual std::shared_ptr<CompanyObject> SubObject(int kind) const = 0;
  virtual db::Variant CodicePianoConti() = 0;  // four-character code for DBO.FNCG_CG24_CONTO
};

class CompanyFactory {
 public:
  virtual ~CompanyFactory() = default;
  virtual void SetConnection(std::shared_ptr<db::Connection> connection) = 0;
  virtual std::shared_ptr<CompanyObject> GetObject(const db::Variant& ditta, int kind) = 0;
};

// Reads CG18_DITTE of the development database through the connection, on first use.
std::unique_ptr<CompanyFactory> MakeDbCompanyFactory();

}  // namespace veriprog::outside
