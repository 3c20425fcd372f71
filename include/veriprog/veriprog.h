/* veriprog: the C interface over the main object, for hosts that are not written in C++.
 *
 * One veriprog_main handle is one main object with its parameter and result objects. Parameters are
 * set by their field names, as text (NULL leaves a field Empty). An operation is run by its name
 * and returns Stato; Errore says why it failed. After a check its result rows can be walked.
 * Events reach a callback, synchronously, on the calling thread.
 *
 * Ownership: the caller destroys what it creates (veriprog_destroy, veriprog_rows_free). Texts
 * returned by these functions belong to the handle they came from and stay valid until the next
 * call on that handle. No function throws or aborts: failures are return values. */
#ifndef VERIPROG_H
#define VERIPROG_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct veriprog_main veriprog_main;
typedef struct veriprog_rows veriprog_rows;

/* Stato: 0 ok, 1 invalid parameters, 99 program or database error. */
enum { VERIPROG_OK = 0, VERIPROG_PARAMETRI_NON_VALIDI = 1, VERIPROG_PROGRAM_ERROR = 99 };

/* A new main object, or NULL when memory runs out. */
veriprog_main* veriprog_create(void);
void veriprog_destroy(veriprog_main* v);

/* Sets a field of the parameter object. Text fields: "SConnect", "Ditta", "Esercizio",
 * "Progressivo", "Anno", "CodiceSede", "CodiceAttivita", "IDAttivita" (value NULL: Empty).
 * Whole-number fields: "EseguiTransazione", "ElaborazionePerAttivita" (0 or 1),
 * "IndicatoreTipoContabilita". Returns 0, or -1 for a name that is not a field. */
int veriprog_set_text(veriprog_main* v, const char* field, const char* value);
int veriprog_set_int(veriprog_main* v, const char* field, int value);

/* Runs an operation by its name ("ControlloProgressiviContabili",
 * "AzzeraAggiornaProgressiviContabili", ..., "ControlloProgressiviIVA" runs with the stored
 * totals when IncludiRecordDeiProgressivi was set to 1 with veriprog_set_int). Returns Stato, or
 * -1 for a name that is not an operation (nothing runs then). */
int veriprog_run(veriprog_main* v, const char* operation);
int veriprog_stato(const veriprog_main* v);
const char* veriprog_errore(const veriprog_main* v);

/* Events: the callback gets the event's name ("BeginControlloProgressiviContabili", ...) and
 * its arguments as texts. NULL detaches it. */
typedef void (*veriprog_event_fn)(void* context, const char* event, int argc,
                                  const char* const* argv);
void veriprog_on_event(veriprog_main* v, veriprog_event_fn callback, void* context);

/* Bounds on the waits of the operations that follow, in seconds (0 or less: none): how long an
 * operation waits for its company's lock while another run holds it (then it fails with "company
 * N is locked by another run", nothing written), and how long any one statement may run, on the
 * connection v opens from SConnect. While an operation waits for the lock, the event callback
 * gets "WaitingForLock" with one argument saying what it waits for. Returns 0, or -1 for no v. */
int veriprog_set_limits(veriprog_main* v, double lock_timeout, double statement_timeout);

/* The result rows of the last check run on v, or NULL when it left none. The rows are a copy:
 * they stay valid after v is destroyed, until veriprog_rows_free. */
veriprog_rows* veriprog_result(veriprog_main* v);
/* The VAT register totals compared per key (one row per register type, section, VAT code, VAT
 * type and month: stored and journal amounts, their differences and FLAGSBIL "Si" where any
 * differs), from the rows the last ControlloProgressiviIVA run with IncludiRecordDeiProgressivi
 * left on v; NULL when it left none. A copy, freed with veriprog_rows_free. */
veriprog_rows* veriprog_vat_comparison(veriprog_main* v);
int veriprog_rows_count(const veriprog_rows* r);
int veriprog_rows_fields(const veriprog_rows* r);
const char* veriprog_rows_field_name(const veriprog_rows* r, int field);
/* Moves to the next row (the first, on the first call); 1 while on a row, 0 at the end. */
int veriprog_rows_next(veriprog_rows* r);
/* The value of a field of the current row as text (decimals exactly, with their scale), or NULL
 * for a Null value or a field that does not exist. */
const char* veriprog_rows_get(veriprog_rows* r, int field);
void veriprog_rows_free(veriprog_rows* r);

/* --- The services over the operations ---------------------------------------------------- */

/* The dry run of a rebuild ("AzzeraAggiornaProgressiviContabili", ...) on v's parameters: the
 * rebuild runs inside a transaction that is rolled back, and *changes gets what it would have
 * changed, one row per changed value (TABLE, CHANGE "inserted"/"updated"/"deleted", KEY, COLUMN,
 * OLD, NEW), or NULL when it failed. Events reach v's callback. A connection the host handed over
 * that is already inside a transaction is refused. Returns Stato (veriprog_errore says why), or
 * -1 for a name that is not a rebuild. */
int veriprog_dry_run(veriprog_main* v, const char* operation, veriprog_rows** changes);

/* One key of the account totals laid open, on v's SConnect, Ditta, Esercizio and Progressivo:
 * the account (required), the customer or supplier (tipocf and clifor, 0 and 0 for none), the
 * branch (NULL: every branch together) and the currency (NULL: euro). Returns Stato
 * (veriprog_errore says why); *out gets the explanation when it is VERIPROG_OK, NULL otherwise. */
typedef struct veriprog_explanation veriprog_explanation;
int veriprog_explain(veriprog_main* v, const char* conto, long long tipocf, long long clifor,
                     const char* sede, const char* valuta, veriprog_explanation** out);
/* Its rows, each a copy freed with veriprog_rows_free: the months (stored against journal, one
 * row per month, FLAGSBIL "Si" where they differ), the yearly figures, and the journal lines of
 * the first month that differs (NULL when every month agrees). */
enum { VERIPROG_EXPLAIN_MONTHS = 0, VERIPROG_EXPLAIN_YEAR = 1, VERIPROG_EXPLAIN_LINES = 2 };
veriprog_rows* veriprog_explanation_rows(const veriprog_explanation* x, int which);
/* One sentence for people; the months and yearly figures that differ. */
const char* veriprog_explanation_verdict(const veriprog_explanation* x);
int veriprog_explanation_flagged(const veriprog_explanation* x);
void veriprog_explanation_free(veriprog_explanation* x);

/* Every family of every company and fiscal year (or of those chosen: "1,3,5-9", NULL for all;
 * families by name as the command line's check all names them, comma-separated, NULL for all),
 * checked (rebuild 0) or rebuilt (1, each in its own transaction) on `jobs` connections at once.
 * The callback, on the calling thread, gets "UnitStarted" and "UnitFinished" with the company,
 * the period and the family, then the outcome ("ok", "flagged", "error", ...) for the latter.
 * Returns Stato of the run as a whole (the companies could not be listed, a choice is no list
 * of numbers); *out gets the result even then, for its errore, NULL only when memory runs out. */
typedef struct veriprog_batch veriprog_batch;
int veriprog_run_all(const char* connection, const char* companies, const char* fiscal_years,
                     const char* families, int jobs, int rebuild, veriprog_event_fn callback,
                     void* context, veriprog_batch** out);
/* The same with everything the command line's check all and rebuild all offer. `size` is
 * sizeof(veriprog_run_all_options) as the host was built with: fields added later stay at their
 * defaults for older hosts. Texts may be NULL; times are seconds, 0 for no limit. The callback
 * also gets "Notice" with the company and a line (a wait for a lock, a deadlock victim run
 * again). */
typedef struct veriprog_run_all_options {
  int size;
  const char* connection;
  const char* companies;
  const char* fiscal_years;
  const char* families;
  int jobs;
  int rebuild;
  double lock_timeout;
  double statement_timeout;
  const char* report;       /* a JSON run report, rewritten after every unit; NULL: none */
  const char* retry_failed; /* an earlier run report: only what failed or never ran, runs */
} veriprog_run_all_options;
int veriprog_run_all_with(const veriprog_run_all_options* options, veriprog_event_fn callback,
                          void* context, veriprog_batch** out);
const char* veriprog_batch_errore(const veriprog_batch* r);
/* One row per unit, a copy: COMPANY, PERIOD, FAMILY, ROWS and FLAGGED (Null where the unit
 * gave no rows), SECONDS, OUTCOME ("ok", "flagged", "invalid parameters", "error",
 * "interrupted", "not run") and MESSAGE (Errore, and why no connection could be made). */
veriprog_rows* veriprog_batch_units(const veriprog_batch* r);
/* The rows of unit `unit`'s check, a copy (NULL for a rebuild, or a check that failed). */
veriprog_rows* veriprog_batch_rows(const veriprog_batch* r, int unit);
void veriprog_batch_free(veriprog_batch* r);

/* --- Plans and the run history -------------------------------------------------------------- */

/* The dry run of a rebuild on v's parameters, saved as a plan at `path` (its change set with a
 * fingerprint of the journal lines it read, written whole or not at all); nothing is written to
 * the ledger. *changed (when not NULL) gets the stored rows the rebuild would change. Returns
 * Stato (veriprog_errore says why), or -1 for a name that is not a rebuild. */
int veriprog_plan(veriprog_main* v, const char* operation, const char* path, long long* changed);
/* The rebuild run in a transaction of its own that commits only when it writes exactly what the
 * plan at `path` lists and the journal is as it was when the plan was made. *applied gets 1 when
 * it committed, 0 when it rolled back (Stato VERIPROG_OK, veriprog_errore says why). A plan of
 * another operation or scope, or a damaged one, is VERIPROG_PARAMETRI_NON_VALIDI. */
int veriprog_apply(veriprog_main* v, const char* operation, const char* path, int* applied);

/* The run history: one file that remembers each run recorded in it, the keys its checks flagged
 * (new since the previous run of the same check, known, or acknowledged) and each rebuild's
 * change set, which undo writes back. Not in the Windows build yet: opening one is refused. */
typedef struct veriprog_history veriprog_history;
/* Opens the history at `path`, making it when missing; a file that is not a sound history is
 * refused and left as it is. Returns Stato; *out gets a handle even then (for its errore), NULL
 * only when memory runs out. */
int veriprog_history_open(const char* path, veriprog_history** out);
const char* veriprog_history_errore(const veriprog_history* h);
void veriprog_history_close(veriprog_history* h);
/* Runs an operation as veriprog_run does and records it: a check with the keys it flagged, a
 * rebuild run in a transaction (EseguiTransazione) with its change set. *run gets the run's
 * number, 0 when the history could not record it (veriprog_history_errore says why). Returns
 * Stato of the operation, or -1 for a name that is not an operation. */
int veriprog_run_recorded(veriprog_main* v, const char* operation, veriprog_history* h,
                          long long* run);
/* A run's findings (KEY, FINDING "new"/"known"/"acknowledged", FIRST_SEEN, AMOUNTS, NOTE), and
 * the latest runs (RUN, STARTED, OPERATION, COMPANY, PERIOD, PART, SERVER, DATABASE, ROWS,
 * FLAGGED, EXIT, CHANGES, PART_OF, ERROR); copies, NULL on failure. */
veriprog_rows* veriprog_history_findings(veriprog_history* h, long long run);
veriprog_rows* veriprog_history_runs(veriprog_history* h, int limit);
/* Acknowledges a flagged key as a check prints it: hidden from what is new until its amounts
 * change. Returns Stato. */
int veriprog_history_ack(veriprog_history* h, const char* key, const char* note);
/* Takes back the rebuild `run` (or each rebuild of a run over every company, the last first) on
 * v's SConnect and limits, if nothing moved the totals it wrote since. Returns Stato:
 * VERIPROG_PARAMETRI_NON_VALIDI when refused, with *moved (when not NULL) the keys that moved,
 * one per row (KEY), or NULL when none. veriprog_history_errore says why. */
int veriprog_history_undo(veriprog_history* h, veriprog_main* v, long long run,
                          veriprog_rows** moved);

#ifdef __cplusplus
}
#endif

#endif /* VERIPROG_H */
