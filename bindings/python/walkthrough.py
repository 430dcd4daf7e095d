#!/usr/bin/env python3
"""The demo's main jobs through the published dispatch interface, from Python.

    python3 bindings/python/walkthrough.py --library build/src/publish/libtamsel_publish.so \
        --cli build/tools/tamsel/tamsel

Registers the component (in a scratch registry file unless TAMSEL_REGISTRY names one), creates a
PriceRuleManager by its program id, initialises it with a login and an info object written in
Python (after showing why a mistyped database path is refused), looks up a rule and a price, creates and saves a rule, and shows a stale save refused
with the component error. Exits non-zero when any step does not behave so.
"""

import argparse
import datetime
import gc
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import tamsel_client as tc  # noqa: E402

TODAY = datetime.date(2026, 11, 15)


class Login:
    """The suite's login, as the component asks it by name."""
    def __init__(self, connection_text):
        self.connection_text = connection_text

    def ConnectionText(self):
        return self.connection_text

    AuthService = None  # no row-authorisation service of the login's own
    RowAuthText = ""
    LoginDate = TODAY


class Info:
    """The calling application's system information."""
    bCheckInvAuth = False
    bCheckVendorAuth = False
    Today = TODAY
    TheYear = TODAY.year
    TheMonth = TODAY.month

    def getdicvalue(self, key):
        return False  # daily exchange rates


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--library", required=True, help="libtamsel_publish.so")
    parser.add_argument("--cli", help="the tamsel tool, to make a demo database")
    parser.add_argument("--db", help="an existing database with the demo data")
    opts = parser.parse_args()
    work = tempfile.mkdtemp(prefix="tamsel-walk-")
    os.environ.setdefault("TAMSEL_REGISTRY", os.path.join(work, "registry.json"))
    db = opts.db or os.path.join(work, "prices.db")
    if not opts.db:
        subprocess.run([opts.cli, "init", "--db", db, "--demo-data"], check=True,
                       stdout=subprocess.DEVNULL)

    tc.register(opts.library)
    print("registered in", tc.registry_path())
    mgr = tc.create("Tamsel.PriceRuleManager")
    # InitManager answers only True or False; InitFailure says why, and a typo makes no file.
    typo = db + ".typo"
    assert not mgr.InitManager(tc.expose(Login(f"Provider=SQLite;Data Source={typo}")),
                               tc.expose(Info()))
    print("a mistyped path:", mgr.InitFailure)
    assert "database not found" in mgr.InitFailure and not os.path.exists(typo)
    assert mgr.InitManager(tc.expose(Login(f"Provider=SQLite;Data Source={db}")), tc.expose(Info()))

    rule = mgr.GetVenInvPriceRule("V001", "A01", TODAY)
    print(f"rule for V001/A01 on {TODAY}: id {rule.id}, {rule.cMemo!r}, {rule.cExchName}")
    item = mgr.GetVenInvPriceRuleItem("V001", "A01", TODAY, iquantity=150, iSupplyType=1)
    print(f"price of 150 x A01 at V001: {item.iUnitPrice} {item.objRule.cExchName}")
    tax = tc.Ref(False)
    mgr.GetbTaxType("V001", tax)
    print("V001 taxed:", tax.value)

    new = mgr.NewVenInvPriceRule()
    new.cVenCode, new.cInvCode, new.iSupplyType = "V002", "A01", 1
    new.dEnableDate, new.iTaxRate, new.cMemo = "2026-12-01", 13, "from Python"
    first = new.AddRuleItem()
    first.iUpperLimit, first.iUnitPrice, first.iTaxUnitPrice = 100, 2.5, 2.825
    second = new.AddRuleItem()
    second.iUpperLimit, second.iUnitPrice, second.iTaxUnitPrice = None, 2.2, 2.486
    mgr.CreateVenInvPriceRule(new)
    print(f"created rule {new.id} with {len(new.ruleItems)} tiers, stamp {new.ufts}")
    assert new.id > 0 and [t.index for t in new.ruleItems] == [1, 2]

    mine, theirs = mgr.LoadVenInvPriceRule(new.id), mgr.LoadVenInvPriceRule(new.id)
    mine.cMemo = "changed here"
    mgr.SaveVenInvPriceRule(mine)
    theirs.cMemo = "changed elsewhere"
    try:
        mgr.SaveVenInvPriceRule(theirs)
        raise SystemExit("a stale save was accepted")
    except tc.ComponentError as e:
        print(f"stale save refused: {e.number} {e.source}: {e.description}")
        assert e.number == -2147220503 and e.source == "Assert"

    rs = mgr.ListVenInvPriceRules("cInvCode='A01'")
    print(f"{rs.RecordCount} rules for A01:")
    while not rs.EOF:
        print(f"  {rs('id'):>3} {rs('cVenCode') or '(any)':6} {rs('dEnableDate')} {rs('cMemo')}")
        rs.MoveNext()
    rs.Close()

    assert mgr.ExitManager()
    del mgr, rule, item, new, first, second, mine, theirs, rs
    gc.collect()
    assert tc.can_unload(opts.library), "an object is still alive"
    tc.unregister(opts.library)
    shutil.rmtree(work)
    print("done")


if __name__ == "__main__":
    main()
