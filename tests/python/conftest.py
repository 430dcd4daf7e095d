"""Fixtures: a demo database made once by the tool, copied for each test that writes."""

import datetime
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

# The package of this source tree, whatever else is installed.
sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "bindings" / "python"))
import tamsel  # noqa: E402

DAY = datetime.date(2026, 12, 6)


@pytest.fixture(scope="session")
def demo_template(tmp_path_factory):
    path = tmp_path_factory.mktemp("template") / "demo.db"
    subprocess.run([os.environ["TAMSEL_CLI"], "init", "--db", str(path), "--demo-data"],
                   check=True, stdout=subprocess.DEVNULL)
    return path


@pytest.fixture
def demo_db(demo_template, tmp_path):
    path = tmp_path / "demo.db"
    shutil.copy(demo_template, path)
    return path


@pytest.fixture
def m(demo_db):
    with tamsel.open(demo_db, today=DAY) as manager:
        yield manager
