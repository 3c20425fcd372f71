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

#ifdef __cplusplus
}
#endif

#endif /* VERIPROG_H */
