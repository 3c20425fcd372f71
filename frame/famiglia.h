// A family of operations as the main object sees it: a public check and a public rebuild. The
// family draws up each as a plan, and the one driver of its kind runs it; the family's steps
// stay in its own source file. The Frame outlives the family object and everything it runs.
#pragma once

#include "frame/drivers.h"
#include "frame/frame.h"

namespace veriprog {

class Famiglia {
 public:
  using PianoDiControllo = CheckPlan (*)(Frame&);
  using PianoDiRicalcolo = RebuildPlan (*)(Frame&);

  Famiglia(Frame& frame, PianoDiControllo controllo, PianoDiRicalcolo ricalcolo)
      : f_(frame), controllo_(controllo), ricalcolo_(ricalcolo) {}

  // The check and the rebuild under their drivers, which record every failure in Stato and
  // Errore.
  void Controllo() { RunCheck(f_, controllo_(f_)); }
  void Ricalcolo() { RunRebuild(f_, ricalcolo_(f_)); }

 private:
  Frame& f_;
  PianoDiControllo controllo_;
  PianoDiRicalcolo ricalcolo_;
};

}  // namespace veriprog
