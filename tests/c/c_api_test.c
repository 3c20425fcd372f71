/* A host written in C: it checks a generated ledger through the C interface, walks the rows,
 * counts the events, runs a dry run, an explanation and a check of every family, rebuilds and
 * checks again; with a history file and a second such ledger, the run history too. Usage:
 * c_api_test CONNINFO [HISTORY CONNINFO2] (ledgers whose company 1, fiscal year 2024/1, has wrong
 * stored totals). Exits 0 when all went as expected. */
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "veriprog/veriprog.h"

static int failures = 0;
#define EXPECT(cond)                                                      \
  do {                                                                    \
    if (!(cond)) {                                                        \
      fprintf(stderr, "%s:%d: expected %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                         \
    }                                                                     \
  } while (0)

struct Counts {
  int begin, end, processo;
};

static void on_event(void* context, const char* event, int argc, const char* const* argv) {
  struct Counts* counts = (struct Counts*)context;
  if (strncmp(event, "Begin", 5) == 0 && strncmp(event, "BeginProcesso", 13) != 0) {
    ++counts->begin;
    EXPECT(argc == 1 && argv[0] != NULL);
  }
  if (strncmp(event, "End", 3) == 0 && strncmp(event, "EndProcesso", 11) != 0) ++counts->end;
  if (strncmp(event, "Processo", 8) == 0) {
    ++counts->processo;
    EXPECT(argc == 2);
  }
}

static int flagged_rows(veriprog_main* v) {
  veriprog_rows* rows = veriprog_result(v);
  int flagged = 0, flag = -1, f;
  EXPECT(rows != NULL);
  if (rows == NULL) return -1;
  for (f = 0; f < veriprog_rows_fields(rows); ++f) {
    if (strcmp(veriprog_rows_field_name(rows, f), "FLAGSBIL") == 0) flag = f;
  }
  EXPECT(flag >= 0);
  while (veriprog_rows_next(rows)) {
    const char* value = veriprog_rows_get(rows, flag);
    if (value != NULL && strncmp(value, "Si", 2) == 0) ++flagged;
  }
  EXPECT(veriprog_rows_get(rows, flag) == NULL); /* past the last row */
  veriprog_rows_free(rows);
  return flagged;
}

/* The account code of the first flagged euro row of a plain account (not a customer's). */
static void first_flagged_account(veriprog_main* v, char* conto, size_t size) {
  veriprog_rows* rows = veriprog_result(v);
  int f, fc = -1, ff = -1, fv = -1;
  conto[0] = '\0';
  if (rows == NULL) return;
  for (f = 0; f < veriprog_rows_fields(rows); ++f) {
    const char* name = veriprog_rows_field_name(rows, f);
    if (strcmp(name, "CONTO") == 0) fc = f;
    if (strcmp(name, "FLAGSBIL") == 0) ff = f;
    if (strcmp(name, "VALUTA") == 0) fv = f;
  }
  while (conto[0] == '\0' && veriprog_rows_next(rows)) {
    /* Each text lasts until the next call on the rows: one field at a time. */
    const char* text = veriprog_rows_get(rows, ff);
    size_t n;
    if (text == NULL || strncmp(text, "Si", 2) != 0) continue;
    text = veriprog_rows_get(rows, fv);
    if (text == NULL || strncmp(text, "EURO", 4) != 0) continue;
    text = veriprog_rows_get(rows, fc);
    n = text != NULL ? strlen(text) : 0;
    while (n > 0 && text[n - 1] == ' ')
      --n; /* codes come padded to their width */
    if (n > 0 && n < 10 && n < size) {
      memcpy(conto, text, n);
      conto[n] = '\0';
    }
  }
  veriprog_rows_free(rows);
}

static void on_unit(void* context, const char* event, int argc, const char* const* argv) {
  int* units = (int*)context;
  if (strcmp(event, "UnitFinished") == 0) {
    EXPECT(argc == 4 && argv[3] != NULL);
    ++*units;
  }
}

/* The services: a dry run of the account rebuild, the explanation of a flagged account and a
 * check of every family of company 1 on two connections. */
static void services(veriprog_main* v, const char* connection) {
  veriprog_rows* changes = NULL;
  veriprog_explanation* x = NULL;
  veriprog_batch* batch = NULL;
  char conto[32];
  int units = 0;

  EXPECT(veriprog_dry_run(v, "ControlloProgressiviContabili", &changes) == -1);
  EXPECT(veriprog_dry_run(v, "AzzeraAggiornaProgressiviContabili", &changes) == VERIPROG_OK);
  EXPECT(changes != NULL && veriprog_rows_count(changes) > 0);
  veriprog_rows_free(changes);

  EXPECT(veriprog_run(v, "ControlloProgressiviContabili") == VERIPROG_OK);
  first_flagged_account(v, conto, sizeof conto);
  EXPECT(conto[0] != '\0');
  EXPECT(veriprog_explain(v, conto, 0, 0, NULL, NULL, &x) == VERIPROG_OK);
  EXPECT(x != NULL);
  if (x != NULL) {
    veriprog_rows* months = veriprog_explanation_rows(x, VERIPROG_EXPLAIN_MONTHS);
    EXPECT(months != NULL && veriprog_rows_count(months) >= 12);
    EXPECT(veriprog_explanation_flagged(x) > 0);
    EXPECT(strlen(veriprog_explanation_verdict(x)) > 0);
    veriprog_rows_free(months);
    veriprog_explanation_free(x);
  }
  EXPECT(veriprog_explain(v, "12345678901", 0, 0, NULL, NULL, &x) == VERIPROG_PARAMETRI_NON_VALIDI);
  EXPECT(x == NULL);

  EXPECT(veriprog_run_all(connection, "1", NULL, NULL, 2, 0, on_unit, &units, &batch) ==
         VERIPROG_OK);
  EXPECT(batch != NULL);
  if (batch != NULL) {
    veriprog_rows* summary = veriprog_batch_units(batch);
    veriprog_rows* rows = veriprog_batch_rows(batch, 0); /* the account check */
    EXPECT(summary != NULL && veriprog_rows_count(summary) == units && units > 1);
    EXPECT(rows != NULL && veriprog_rows_count(rows) > 0);
    veriprog_rows_free(summary);
    veriprog_rows_free(rows);
    veriprog_batch_free(batch);
  }
  {
    /* A rebuild with its run report, then a retry from it: nothing failed, nothing runs again. */
    veriprog_run_all_options o;
    char report[64];
    FILE* f;
    memset(&o, 0, sizeof o);
    snprintf(report, sizeof report, "vp_c_report_%d.json", (int)time(NULL) % 100000);
    o.size = (int)sizeof o;
    o.connection = connection;
    o.companies = "1";
    o.families = "accounts";
    o.jobs = 1;
    o.rebuild = 1;
    o.lock_timeout = 5;
    o.report = report;
    EXPECT(veriprog_run_all_with(&o, NULL, NULL, &batch) == VERIPROG_OK);
    veriprog_batch_free(batch);
    f = fopen(report, "r");
    EXPECT(f != NULL);
    if (f != NULL) fclose(f);
    o.report = NULL;
    o.retry_failed = report;
    EXPECT(veriprog_run_all_with(&o, NULL, NULL, &batch) == VERIPROG_OK);
    if (batch != NULL) {
      veriprog_rows* summary = veriprog_batch_units(batch);
      EXPECT(summary != NULL && veriprog_rows_count(summary) == 0);
      veriprog_rows_free(summary);
      veriprog_batch_free(batch);
    }
    remove(report);
  }
  EXPECT(veriprog_set_limits(v, 2, 60) == 0);
  EXPECT(veriprog_set_limits(NULL, 2, 60) == -1);
  EXPECT(veriprog_run_all(connection, "1;DROP", NULL, NULL, 1, 0, NULL, NULL, &batch) ==
         VERIPROG_PARAMETRI_NON_VALIDI);
  EXPECT(batch != NULL && strstr(veriprog_batch_errore(batch), "companies") != NULL);
  veriprog_batch_free(batch);
}

/* The run history through the C interface: a check recorded with its findings, one key
 * acknowledged, a rebuild recorded and taken back, then a plan saved and applied. */
static int count_state(veriprog_rows* rows, const char* state) {
  int n = 0;
  while (rows != NULL && veriprog_rows_next(rows)) {
    const char* s = veriprog_rows_get(rows, 1);
    if (s != NULL && strcmp(s, state) == 0) ++n;
  }
  return n;
}

static void history(const char* conninfo, const char* path) {
  veriprog_history* h = NULL;
  veriprog_main* v = veriprog_create();
  long long run = 0, rebuild = 0, changed = 0;
  int flagged, applied = 0;
  char plan[512];
  veriprog_rows* rows;
  EXPECT(veriprog_history_open(path, &h) == VERIPROG_OK);
  veriprog_set_text(v, "SConnect", conninfo);
  veriprog_set_text(v, "Ditta", "1");
  veriprog_set_text(v, "Esercizio", "2024");
  veriprog_set_text(v, "Progressivo", "1");
  EXPECT(veriprog_run_recorded(v, "ControlloProgressiviContabili", h, &run) == VERIPROG_OK);
  flagged = flagged_rows(v);
  EXPECT(run > 0 && flagged > 0);
  rows = veriprog_history_findings(h, run);
  EXPECT(rows != NULL && veriprog_rows_count(rows) == flagged);
  EXPECT(count_state(rows, "new") == flagged);
  if (rows != NULL) {
    veriprog_rows_free(rows);
    rows = veriprog_history_findings(h, run);
    veriprog_rows_next(rows);
    EXPECT(veriprog_history_ack(h, veriprog_rows_get(rows, 0), "agreed") == VERIPROG_OK);
    veriprog_rows_free(rows);
  }
  EXPECT(veriprog_history_ack(h, "accounts:1:2024/1:CONTO=none", "x") ==
         VERIPROG_PARAMETRI_NON_VALIDI);
  EXPECT(veriprog_run_recorded(v, "ControlloProgressiviContabili", h, &run) == VERIPROG_OK);
  rows = veriprog_history_findings(h, run);
  EXPECT(count_state(rows, "acknowledged") == 1);
  veriprog_rows_free(rows);

  veriprog_set_int(v, "EseguiTransazione", 1);
  EXPECT(veriprog_run_recorded(v, "AzzeraAggiornaProgressiviContabili", h, &rebuild) ==
         VERIPROG_OK);
  EXPECT(rebuild > 0);
  EXPECT(veriprog_run(v, "ControlloProgressiviContabili") == VERIPROG_OK && flagged_rows(v) == 0);
  EXPECT(veriprog_history_undo(h, v, rebuild, NULL) == VERIPROG_OK);
  EXPECT(veriprog_history_undo(h, v, rebuild, NULL) == VERIPROG_PARAMETRI_NON_VALIDI);
  EXPECT(strstr(veriprog_history_errore(h), "taken back already") != NULL);
  EXPECT(veriprog_run(v, "ControlloProgressiviContabili") == VERIPROG_OK);
  EXPECT(flagged_rows(v) == flagged);
  rows = veriprog_history_runs(h, 10);
  EXPECT(rows != NULL && veriprog_rows_count(rows) == 4); /* two checks, a rebuild, its undo */
  veriprog_rows_free(rows);

  snprintf(plan, sizeof plan, "%s.plan", path);
  EXPECT(veriprog_plan(v, "AzzeraAggiornaProgressiviContabili", plan, &changed) == VERIPROG_OK);
  EXPECT(changed > 0);
  EXPECT(veriprog_apply(v, "AzzeraAggiornaProgressiviContabili", plan, &applied) == VERIPROG_OK);
  EXPECT(applied == 1);
  /* Once applied, the totals are the journal's: the same plan would now change nothing it lists. */
  EXPECT(veriprog_apply(v, "AzzeraAggiornaProgressiviContabili", plan, &applied) == VERIPROG_OK);
  EXPECT(applied == 0 && strstr(veriprog_errore(v), "refused") != NULL);
  EXPECT(veriprog_run(v, "ControlloProgressiviContabili") == VERIPROG_OK && flagged_rows(v) == 0);
  remove(plan);
  veriprog_history_close(h);
  veriprog_destroy(v);

  /* A file that is no history: refused, with the reason, and left as it was. */
  {
    FILE* f = fopen(plan, "w");
    if (f != NULL) {
      fputs("not a history\n", f);
      fclose(f);
    }
    EXPECT(veriprog_history_open(plan, &h) == VERIPROG_PARAMETRI_NON_VALIDI);
    EXPECT(h != NULL && strstr(veriprog_history_errore(h), "not an SQLite file") != NULL);
    veriprog_history_close(h);
    remove(plan);
  }
}

int main(int argc, char** argv) {
  struct Counts counts = {0, 0, 0};
  veriprog_main* v;
  int before, after;
  if (argc < 2) {
    fprintf(stderr, "usage: c_api_test CONNINFO\n");
    return 2;
  }
  v = veriprog_create();
  EXPECT(v != NULL);
  veriprog_on_event(v, on_event, &counts);
  EXPECT(veriprog_set_text(v, "SConnect", argv[1]) == 0);
  EXPECT(veriprog_set_text(v, "NonUnCampo", "1") == -1);
  EXPECT(veriprog_run(v, "NonUnaOperazione") == -1);

  /* No company: invalid parameters, with the frame's own message. */
  EXPECT(veriprog_run(v, "ControlloProgressiviContabili") == VERIPROG_PARAMETRI_NON_VALIDI);
  EXPECT(strcmp(veriprog_errore(v), "Non è stata definita la ditta") == 0);

  veriprog_set_text(v, "Ditta", "1");
  veriprog_set_text(v, "Esercizio", "2024");
  veriprog_set_text(v, "Progressivo", "1");
  EXPECT(veriprog_run(v, "ControlloProgressiviContabili") == VERIPROG_OK);
  before = flagged_rows(v);
  EXPECT(before > 0);
  EXPECT(counts.begin == 1 && counts.end == 1);

  services(v, argv[1]);
  if (argc > 3) history(argv[3], argv[2]);
  counts.begin = counts.end = counts.processo = 0;

  veriprog_set_int(v, "EseguiTransazione", 1);
  EXPECT(veriprog_run(v, "AzzeraAggiornaProgressiviContabili") == VERIPROG_OK);
  EXPECT(counts.processo == 9);
  EXPECT(veriprog_result(v) == NULL); /* a rebuild leaves no rows */
  EXPECT(veriprog_run(v, "ControlloProgressiviContabili") == VERIPROG_OK);
  after = flagged_rows(v);
  EXPECT(after == 0);
  EXPECT(veriprog_vat_comparison(v) == NULL); /* the last check was not the VAT one */

  /* The VAT register totals compared per key, as the command line compares them. */
  veriprog_set_text(v, "Anno", "2024");
  veriprog_set_int(v, "IncludiRecordDeiProgressivi", 1);
  EXPECT(veriprog_run(v, "ControlloProgressiviIVA") == VERIPROG_OK);
  {
    veriprog_rows* keys = veriprog_vat_comparison(v);
    int f, diff = -1;
    EXPECT(keys != NULL);
    if (keys != NULL) {
      EXPECT(veriprog_rows_count(keys) > 0);
      for (f = 0; f < veriprog_rows_fields(keys); ++f)
        if (strcmp(veriprog_rows_field_name(keys, f), "DIFFIMPONIBILE") == 0) diff = f;
      EXPECT(diff >= 0);
      veriprog_rows_free(keys);
    }
  }
  veriprog_destroy(v);
  printf("C host: %d flagged before the rebuild, %d after; %d events of begin, %d of end\n", before,
         after, counts.begin, counts.end);
  return failures == 0 ? 0 : 1;
}
