"""The tamsel package against a demo database: the README's example as written, the named
errors, tiers, dates and result sets, and an offline install into a fresh environment."""

import datetime
import os
import re
import subprocess
import sys
import venv
from pathlib import Path

import pytest

import tamsel
from conftest import DAY

ROOT = Path(__file__).resolve().parents[2]


def readme_example():
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    blocks = re.findall(r"```python\n(.*?)```", text, re.S)
    found = [b for b in blocks if "tamsel.open(" in b]
    assert len(found) == 1, "the README has one example of the tamsel package"
    return found[0]


def test_readme_example_runs_as_written(demo_db):
    env = dict(os.environ, PYTHONPATH=str(ROOT / "bindings" / "python"))
    run = subprocess.run([sys.executable, "-c", readme_example()], cwd=demo_db.parent, env=env,
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert "V002" in run.stdout


def new_rule(m, **fields):
    rule = m.new_rule(cVenCode="V002", cInvCode="A01", dEnableDate=datetime.date(2026, 12, 1),
                      iTaxRate=13, **fields)
    rule.add_tier(iUpperLimit=100, iUnitPrice=2.5, iTaxUnitPrice=2.825)
    rule.add_tier(iUpperLimit=None, iUnitPrice=2.2, iTaxUnitPrice=2.486)
    return rule


def stale_save(m):
    mine, theirs = m.load(3), m.load(3)
    mine.cMemo = "here"
    m.save(mine)
    theirs.cMemo = "elsewhere"
    m.save(theirs)


@pytest.mark.parametrize("kind, key, act", [
    (tamsel.NotFound, "", lambda m: m.load(999)),
    (tamsel.NotFound, "Zorvik.pu.Quorlin.00061", lambda m: m.delete(999)),
    (tamsel.StaleRule, "Zorvik.pu.Quorlin.00059", stale_save),
    (tamsel.RuleRefused, "Zorvik.pu.Quorlin.00055", lambda m: [m.create(new_rule(m))
                                                                for _ in range(2)]),
    (tamsel.DatabaseUnavailable, "", lambda m: tamsel.open(m._target + ".missing")),
    (tamsel.DatabaseUnavailable, "", lambda m: tamsel.open("missing.db")),
])
def test_named_errors(m, kind, key, act):
    with pytest.raises(kind) as e:
        act(m)
    assert isinstance(e.value, tamsel.Error) and e.value.key == key and e.value.description


@pytest.mark.parametrize("act, text", [
    # Positions are counted as the caller counts them: from 1, left to right.
    (lambda m: m.price("V002", "A01", "not a date", 5), "GetVenInvPriceRuleItem, argument 3"),
    (lambda m: m.price("V002", "A01", DAY, "many"), "GetVenInvPriceRuleItem, argument 4"),
    (lambda m: m.compare("A01", 5, supply_type="x"), "ComparePrice, argument 3"),
    (lambda m: m._obj.ComparePrice("A01", 5, iSupplyType="x"), "ComparePrice, argument iSupplyType"),
    (lambda m: setattr(m.load(3), "iSupplyType", "x"), "iSupplyType, the value assigned"),
])
def test_dispatch_errors_name_member_and_argument(m, act, text):
    with pytest.raises(tamsel.DispatchError, match=re.escape(text) + ": wrong type"):
        act(m)


def test_tiers_index_size_iterate(m):
    rule = m.create(new_rule(m))
    tiers = m.load(rule.id).ruleItems
    assert len(tiers) == 2 and [t.index for t in tiers] == [1, 2]
    assert tiers[2] == tiers["2"] and tiers[2].iUpperLimit is None and tiers[1].iUpperLimit == 100
    with pytest.raises(KeyError):
        tiers[3]


def test_dates_round_trip(m):
    rule = new_rule(m, dDisableDate=datetime.date(2027, 3, 31))
    m.create(rule)
    stored = m.load(rule.id)
    assert (stored.dEnableDate, stored.dDisableDate) == (datetime.date(2026, 12, 1),
                                                        datetime.date(2027, 3, 31))
    stored.dDisableDate = None
    m.save(stored)
    assert m.load(rule.id).dDisableDate is None


def test_lookups_rows_and_reprs(m):
    tier = m.price("V002", "A01", DAY, 2000)
    assert (tier.iUnitPrice, tier.rule.cVenCode) == (0.81, "V002")
    assert m.price("V002", "A01", datetime.date(2020, 1, 1), 1) is None
    assert m.compare("A02", 100, today=DAY).rule.cVenCode == "V004"
    assert m.find("V001", "A01", DAY).id == 3
    rows = m.list_rules("cVenCode = 'V001'")
    assert len(rows) == 2 and [r["id"] for r in rows] == [1, 3]
    assert re.fullmatch(r"<tamsel\.Tier 1 from 2000\.0 at 0\.81>", repr(tier))
    assert re.fullmatch(r"<tamsel\.Rule 3 V001/A01 2026-11-01\.\.2027-01-01 CNY 1 tiers>",
                        repr(m.load(3)))
    assert repr(rows) == "<tamsel.ResultSet 2 rows>"
    m.close()
    with pytest.raises(tamsel.Error, match="closed"):
        m.load(3)


def test_installs_offline_into_a_fresh_environment(tmp_path, demo_db):
    env_dir = tmp_path / "env"
    try:
        venv.create(env_dir, system_site_packages=True, with_pip=True)
    except Exception as e:  # noqa: BLE001 - python3-venv missing
        pytest.skip(f"no virtual environments here ({e}): apt install python3-venv")
    python = str(env_dir / "bin" / "python")
    source = tmp_path / "src"
    subprocess.run(["cp", "-r", str(ROOT / "bindings" / "python"), str(source)], check=True)
    subprocess.run([python, "-m", "pip", "install", "-q", "--no-index", "--no-build-isolation",
                    str(source)], check=True)
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    run = subprocess.run([python, "-c", readme_example()], cwd=demo_db.parent, env=env,
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert list(env_dir.glob("lib/python3*/site-packages/tamsel/py.typed"))
