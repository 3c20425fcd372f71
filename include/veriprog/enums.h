// The enumerations of the component: the outcome of an operation and the VAT chargeability.
#pragma once

namespace veriprog {

enum StatoEnum : int {
  tsOk = 0,
  tsParametriNonValidi = 1,
  tsProgramError = 99,
};

enum TipoEsigibilitaEnum : int {
  EsigibilitaImmediata = 0,
  EsigibilitaDifferitaEntiPubblici = 1,
  EsigibilitaDifferitaAltreSocieta = 2,
  EsigibilitaDifferitaEntiPubblici_Art17ter = 3,
};

}  // namespace veriprog
