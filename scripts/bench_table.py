#!/usr/bin/env python3
"""Reads the JSON files Google Benchmark wrote into a folder and prints one
table: each measure of ours beside its floor (the same work in plain SQL or
the cheaper run it must approach), their ratio and its goal. A ratio past its
goal is marked; timing is not a test, so the exit status stays 0."""

import json
import os
import platform
import re
import sys
from datetime import date

# (program, ours, floor, goal): names are regular expressions over the
# benchmark's full name, the first match taken.
PAIRS = [
    ("bench_audit", r"BM_AuditDisturbed/10000/", r"BM_Raw/10000/1/", 1.5),
    ("bench_audit", r"BM_AuditDisturbed/100000/", r"BM_Raw/100000/1/", 1.5),
    ("bench_accounting", r"BM_Post/1000/", r"BM_Raw/1000/", 2.0),
    ("bench_estimate_capture", r"BM_SaveEstimate500$", r"BM_SaveEstimate500Raw/1$", 2.0),
    ("bench_estimate_capture", r"BM_CapEstOpenFirstPage$", r"BM_CapEstFirstPageRaw$", 2.0),
    ("bench_reports", r"BM_ImpConPages/", r"BM_ScanContractorsRaw/", 1.5),
    ("bench_reports", r"BM_ItemsPages/", r"BM_ScanItems/", 1.5),
    ("bench_estimate_reports", r"BM_ImpEdoPages/", r"BM_ScanItems/", 1.5),
    ("bench_estimate_reports_b", r"BM_ImpAuxPages/", r"BM_ScanAuxLookups/", 1.5),
    ("bench_equipment_reports", r"BM_ImpFacPages/", r"BM_ScanPlain/1/", 1.5),
    ("bench_pdf", r"BM_RunPdf/reporte:0/", r"BM_RunText/reporte:0/", 1.5),
    ("bench_pdf", r"BM_RunPdf/reporte:1/", r"BM_RunText/reporte:1/", 1.5),
    ("bench_exchange", r"BM_Send/", r"BM_RawSend/", 2.0),
    ("bench_exchange", r"BM_Receive/", r"BM_RawReceive/", 2.0),
    ("bench_upgrade", r"BM_Upgrade/", r"BM_PlainCopy/", 2.0),
    ("bench_budget_import", r"BM_ImportBudget$", r"BM_ScanAndWriteBaseline$", 2.0),
    ("bench_equipment", r"BM_ImportHours$", r"BM_ScanAndWriteBaseline$", 2.0),
    ("bench_invoices", r"BM_Invoices/", r"BM_InvoicesRaw/", 2.0),
    # Payments with the automatic policy off, and on, against the same rows
    # written in plain SQL.
    ("bench_payments", r"BM_PostPayments/0/", r"BM_PostPaymentsRaw/0/", 2.0),
    ("bench_payments", r"BM_PostPayments/1/", r"BM_PostPaymentsRaw/1/", 2.0),
    ("bench_storage", r"BM_AddDpolStreamed/", r"BM_AddDpolStreamedRaw/", 1.5),
    ("bench_storage", r"BM_ScanKeyOrder/4096/", r"BM_ScanKeyOrderPlainSelect/4096/", 1.5),
    # The server back end against plain libpq doing the same rows.
    ("bench_server", r"BM_OpenServer", r"BM_OpenLibpq", 2.0),
    ("bench_server", r"BM_FirstPageServer", r"BM_FirstPageLibpq", 2.0),
    ("bench_server", r"BM_AddsServer", r"BM_AddsLibpq", 2.0),
    ("bench_server", r"BM_PostingsServer", r"BM_PostingsLibpq", 2.0),
    ("bench_server", r"BM_AuditServer/20000/", r"BM_AuditLibpq/20000/", 2.0),
    ("bench_server", r"BM_AuditServer/100000/", r"BM_AuditLibpq/100000/", 2.0),
    # 8 stations posting 100 invoices each: the server's time over the
    # files' time; the goal is 4 times the files' postings a second.
    ("bench_server", r"BM_Stations/1/8/", r"BM_Stations/0/8/", 0.25),
]

UNITS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def seconds(run):
    # What the clerk waits for: the wall clock (or the time a benchmark
    # measured itself), per iteration.
    return run["real_time"] * UNITS[run.get("time_unit", "ns")]


def load(folder):
    runs = {}
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".json"):
            continue
        program = name[:-5]
        try:
            with open(os.path.join(folder, name)) as f:
                data = json.load(f)
        except (OSError, ValueError):
            continue
        runs[program] = [b for b in data.get("benchmarks", [])
                         if b.get("run_type", "iteration") == "iteration" and "error_occurred" not in b]
    return runs


def find(runs, program, pattern):
    for b in runs.get(program, []):
        if re.search(pattern, b["name"]):
            return b
    return None


def show(t):
    return f"{t * 1000:.1f} ms" if t < 1 else f"{t:.2f} s"


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "bench-results"
    runs = load(folder)
    print(f"Velmora: benchmarks of {date.today().isoformat()} on {platform.node()} "
          f"({os.cpu_count()} cores, {platform.machine()})\n")
    print("| benchmark | ours | floor | ratio | goal |")
    print("|---|---|---|---|---|")
    paired = set()
    for program, ours, floor, goal in PAIRS:
        a, b = find(runs, program, ours), find(runs, program, floor)
        if not a or not b:
            print(f"| {program} {ours} | (no run) | | | {goal}× |")
            continue
        paired.update({(program, a["name"]), (program, b["name"])})
        ratio = seconds(a) / seconds(b) if seconds(b) > 0 else float("inf")
        mark = "" if ratio <= goal else " **past its goal**"
        print(f"| {program} {a['name']} | {show(seconds(a))} | {show(seconds(b))} | "
              f"{ratio:.2f}×{mark} | {goal}× |")
    print("\nWithout a floor of their own:\n")
    for program, benchmarks in runs.items():
        for b in benchmarks:
            if (program, b["name"]) not in paired:
                print(f"- {program} {b['name']}: {show(seconds(b))}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
