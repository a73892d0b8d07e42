#!/usr/bin/env python3
"""Writes the fault matrix table of docs/RELIABILITY.md from the scenario table in
tests/reliability/FaultMatrixTest.cpp and a fresh run of the test executable.

    scripts/fault-matrix-table.py build/tests/reliability/test_reliability > /tmp/matrix.md

The descriptive columns come from each scenario's expected log; the results and times from the
run (gtest's JSON report), for the in-memory run and, where a scenario has one, the run over a
pseudo-terminal."""
import json
import os
import re
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE = os.path.join(ROOT, "tests/reliability/FaultMatrixTest.cpp")

OPS = {"OP_PROGRAM": "program", "OP_INFO": "info", "OP_CONFIG": "config (engineering)",
       "OP_CONFIG_BADKEY": "config, wrong key", "OP_CONFIG_USER": "config (user flags)"}
NAMED = {"kTimeout": "Timed out waiting for device to reply.",
         "kNoAnswer": "Device not respondoing to identification requests.",
         "kBadCsum": "Rx Checksum Error (RxCsum=0x…, CalcCsum=0x…, Rx='$…')"}


def scenarios():
    text = open(SOURCE, encoding="utf-8").read()
    table = text[text.index("static const std::vector<TRelScenario> table = {"):text.index("return table;")]
    entry = re.compile(r'\{"(\w+)",\s*"([^"]*)",\s*(OP_\w+),(.*?),\s*"([SXDEPIC]+)"(?:,\s*(FP_\w+))?\}', re.S)
    for m in entry.finditer(table):
        name, faults, op, expr, actions, final = m.groups()
        keys = []
        polls = 0
        for tok in re.finditer(r'Poll\((\d)\)|"((?:[^"\\]|\\.)*)"|\b(k\w+)\b', expr):
            if tok.group(1):
                polls = max(polls, int(tok.group(1)))
            elif tok.group(2) is not None:
                literal = tok.group(2)
                if literal == "@CLOSED":
                    keys.append("Serial port '…' was lost.")
                elif literal.startswith("ERROR "):
                    keys.append(literal[len("ERROR "):])
            elif tok.group(3) in NAMED:
                keys.append(NAMED[tok.group(3)])
        if polls:
            keys.insert(0, "%d identification request(s)" % polls)
        if actions.endswith("D"):
            ends = "Completed. / FP_ACTION_DONE"
        elif actions.endswith("E"):
            ends = "Aborted. / FP_ACTION_ERROR"
        elif actions.endswith("IC"):
            ends = "both reports, silent end"
        else:
            ends = "report(s) of the replies that came"
        after = ("FP_WAIT_ACK, timer off (the lost reply is awaited without limit)" if final == "FP_WAIT_ACK"
                 else "FP_IDLE, timer off")
        yield name, faults or "(none)", OPS[op], "; ".join(keys) or "none", ends, after


def run(executable):
    with tempfile.TemporaryDirectory() as tmp:
        report = os.path.join(tmp, "report.json")
        subprocess.run([executable, "--gtest_filter=Scenarios/*:EndToEnd/*", "--gtest_output=json:" + report],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
        data = json.load(open(report, encoding="utf-8"))
    results = {}
    for suite in data["testsuites"]:
        kind = "pty" if suite["name"].startswith("EndToEnd/") else "mem"
        for test in suite["testsuite"]:
            name = test["name"].rsplit("/", 1)[-1]
            passed = "failures" not in test and test.get("result") == "COMPLETED"
            results[(kind, name)] = "%s (%s)" % ("Passed" if passed else "FAILED", test["time"])
    return results


def main():
    results = run(sys.argv[1])
    print("| # | Scenario | Operation | Simulator fault | Key log lines (besides the progress lines) "
          "| Ends with | Engine after | In memory | Over a pseudo-terminal |")
    print("|---|---|---|---|---|---|---|---|---|")
    for i, (name, faults, op, keys, ends, after) in enumerate(scenarios(), 1):
        mem = results.get(("mem", name), "not run")
        pty = results.get(("pty", name), "")
        print("| %d | %s | %s | `%s` | %s | %s | %s | %s | %s |" % (i, name, op, faults, keys, ends, after, mem, pty))


if __name__ == "__main__":
    main()
