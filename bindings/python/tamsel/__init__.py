"""Supplier price rules from Python, over Tamsel's published dispatch interface.

    import datetime, tamsel
    with tamsel.open("demo.db") as m:
        tier = m.price("V002", "A01", datetime.date(2026, 12, 6), 2000)
        print(tier.iUnitPrice, tier.rule.cVenCode)

Objects keep the component's field names (rule.cVenCode, tier.iUnitPrice); dates are
datetime.date. Every failure is a tamsel.Error: StaleRule, RuleRefused, NotFound and
DatabaseUnavailable say which kind. Objects answer only on the thread that opened the manager.

The component library is TAMSEL_LIBRARY when set, else libtamsel_publish.so.0 through the
system loader; no registration is needed.
"""

from __future__ import annotations

import contextlib
import datetime as _dt
import os
import re
from typing import Any, Callable, Dict, Iterator, Optional, Union

from . import _dispatch as _d
from ._dispatch import ComponentError, DispatchError, Error

__all__ = ["open", "Manager", "Rule", "Tier", "Tiers", "ResultSet", "Error", "ComponentError",
           "DispatchError", "StaleRule", "RuleRefused", "NotFound", "DatabaseUnavailable"]

CLSID_PRICE_RULE_MANAGER = "{5D48B951-2B81-446B-AA06-62F38B328A32}"
_KEY_STALE = "Zorvik.pu.Quorlin.00059"
_KEY_NO_RULE = "Zorvik.pu.Quorlin.00061"
# The database did not take a write: a tier, the header, its read-back, the commit.
_KEYS_NOT_STORED = frozenset(f"Zorvik.pu.Quorlin.{n}" for n in ("00054", "00056", "00057", "00503"))


class StaleRule(ComponentError):
    """The rule was changed or deleted by another user since it was loaded: reload it."""


class RuleRefused(ComponentError):
    """The component refused the rule (a check, a duplicate, an overlap); key says which."""


class NotFound(ComponentError):
    """No rule has that id."""


class DatabaseUnavailable(ComponentError):
    """The database could not be opened, or did not take a change (for "...00503" whether the
    change is stored is unknown: reload before retrying)."""


def _named(e: ComponentError, key: str) -> ComponentError:
    # Without a key it may be the database's text or a check that has no message of its own:
    # only the plain ComponentError is honest then.
    if key == _KEY_STALE:
        kind: type[ComponentError] = StaleRule
    elif key == _KEY_NO_RULE:
        kind = NotFound
    elif key in _KEYS_NOT_STORED or e.source == "DatabaseError":
        kind = DatabaseUnavailable
    elif key:
        kind = RuleRefused
    else:
        return e
    return kind(e.number, e.source, e.description, key)


def _to_date(value: Any) -> Optional[_dt.date]:
    if isinstance(value, _dt.date):
        return value
    return _dt.date.fromisoformat(value[:10]) if value else None


def _from_date(value: Any) -> Any:
    return value.isoformat() if isinstance(value, _dt.date) else ("" if value is None else value)


class _Wrapper:
    """A component object: attributes are its members by name, through the manager's funnel."""

    _DATES: frozenset[str] = frozenset()
    _obj: _d.Dispatch
    _manager: Manager

    def __init__(self, obj: _d.Dispatch, manager: Manager) -> None:
        object.__setattr__(self, "_obj", obj)
        object.__setattr__(self, "_manager", manager)

    def __getattr__(self, name: str) -> Any:
        if name.startswith("_"):
            raise AttributeError(name)
        manager = self._manager
        with manager._funnel():
            value = getattr(self._obj, name)
        if callable(value) and not isinstance(value, _d.Dispatch):  # a method: rule.VerifyRule
            method: Callable[..., Any] = value

            def call(*args: Any, **kwargs: Any) -> Any:
                with manager._funnel():
                    return manager._wrap(method(*args, **kwargs))
            return call
        return _to_date(value) if name in self._DATES else manager._wrap(value)

    def __setattr__(self, name: str, value: Any) -> None:
        if isinstance(value, _Wrapper):
            value = value._obj
        elif name in self._DATES:
            value = _from_date(value)
        with self._manager._funnel():
            setattr(self._obj, name, value)

    def __eq__(self, other: object) -> bool:
        # The component hands out the same object while a reference to it is alive.
        return isinstance(other, _Wrapper) and self._obj._ptr == other._obj._ptr

    def __hash__(self) -> int:
        return hash(self._obj._ptr)


class Rule(_Wrapper):
    """A price rule: a header per vendor and item with its quantity tiers (ruleItems)."""

    _DATES = frozenset({"dEnableDate", "dDisableDate"})
    id: int
    cVenCode: str
    cVenAbbName: str
    cInvCode: str
    cInvAddCode: str
    cInvName: str
    cInvStd: str
    iTaxRate: float
    cComUnitCode: str
    cComUnitName: str
    dEnableDate: Optional[_dt.date]
    dDisableDate: Optional[_dt.date]
    bPromotion: bool
    cExchName: str
    iSupplyType: int
    bTaxCost: bool
    cMemo: str
    ufts: str
    cTermCode: str
    cTermName: str
    bCheckOverLap: bool
    ruleItems: Tiers

    def add_tier(self, **fields: Any) -> Tier:
        """A new tier at the end, its fields set from the keywords (iUpperLimit=100, ...)."""
        with self._manager._funnel():
            tier = Tier(self._obj.AddRuleItem(), self._manager)
        for name, value in fields.items():
            setattr(tier, name, value)
        return tier

    def remove_tier(self, index: int) -> None:
        """Removes the tier numbered index; the chain is closed over the gap."""
        with self._manager._funnel():
            self._obj.RemoveRuleItem(_d.Ref(index))

    def __repr__(self) -> str:
        try:
            until = self.dDisableDate or "open"
            return (f"<tamsel.Rule {self.id} {self.cVenCode or '*'}/{self.cInvCode} "
                    f"{self.dEnableDate}..{until} {self.cExchName} {len(self.ruleItems)} tiers>")
        except Error:
            return "<tamsel.Rule>"


class Tier(_Wrapper):
    """A quantity tier of a rule: from iLowerLimit up to iUpperLimit (None: no limit)."""

    id: int
    index: int
    iLowerLimit: float
    iUpperLimit: Optional[float]
    iUnitPrice: float
    iTaxRate: float
    iTaxUnitPrice: float
    objRule: Optional[Rule]

    @property
    def rule(self) -> Optional[Rule]:
        """The rule the tier belongs to (objRule)."""
        rule: Optional[Rule] = self.objRule
        return rule

    def __repr__(self) -> str:
        try:
            upper = "" if self.iUpperLimit is None else f" to {self.iUpperLimit}"
            return f"<tamsel.Tier {self.index} from {self.iLowerLimit}{upper} at {self.iUnitPrice}>"
        except Error:
            return "<tamsel.Tier>"


class Tiers(_Wrapper):
    """A rule's tiers (ruleItems): tiers[n] is tier number n; len() and iteration in order."""

    def __len__(self) -> int:
        with self._manager._funnel():
            return int(self._obj.Count)

    def __getitem__(self, index: Union[int, str]) -> Tier:
        if isinstance(index, bool) or not isinstance(index, (int, str)):
            raise TypeError(f"a tier is found by its number, not by {type(index).__name__}")
        try:
            with self._manager._funnel():
                tier: Tier = self._manager._wrap(self._obj(index))
        except ComponentError:  # no tier under that number
            raise KeyError(index) from None
        return tier

    def __iter__(self) -> Iterator[Tier]:
        with self._manager._funnel():
            items = list(iter(self._obj))
        return iter([self._manager._wrap(item) for item in items])

    def __repr__(self) -> str:
        return f"<tamsel.Tiers {[t.index for t in self]}>"


class ResultSet:
    """Rows of a list operation, each a dict by column name; iterate once, then close (or use
    it as a context manager). Must be done with before the manager closes."""

    def __init__(self, rs: _d.Dispatch, manager: Manager) -> None:
        self._rs, self._manager = rs, manager

    def __len__(self) -> int:
        with self._manager._funnel():
            return int(self._rs.RecordCount)

    def __iter__(self) -> Iterator[Dict[str, Any]]:
        rs = self._rs
        with self._manager._funnel():
            names = [rs.FieldName(i) for i in range(rs.FieldCount)]
            rs.MoveFirst()
            while not rs.EOF:
                yield {name: rs(name) for name in names}
                rs.MoveNext()

    def close(self) -> None:
        with self._manager._funnel():
            self._rs.Close()

    def __enter__(self) -> ResultSet:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<tamsel.ResultSet {len(self)} rows>"


class _Login:
    """The suite's login, as the component asks it by name."""

    AuthService = None  # no row-authorisation service
    RowAuthText = ""

    def __init__(self, connection_text: str, today: _dt.date) -> None:
        self._text, self.LoginDate = connection_text, today

    def ConnectionText(self) -> str:
        return self._text


class _Info:
    """The calling application's system information; Today is the business date."""

    bCheckInvAuth = False
    bCheckVendorAuth = False

    def __init__(self, today: _dt.date) -> None:
        self.Today = today

    @property
    def TheYear(self) -> int:
        return self.Today.year

    @property
    def TheMonth(self) -> int:
        return self.Today.month

    def getdicvalue(self, key: str) -> bool:
        return False  # daily exchange rates, not the period's


def _arg(value: Any) -> Any:
    return _d.Missing if value is None else value


class Manager:
    """A PriceRuleManager on one database. Methods take the component's arguments by their
    meaning; optional ones left as None take the component's default."""

    def __init__(self, obj: _d.Dispatch, info: _Info, target: str) -> None:
        self._obj, self._info, self._target = obj, info, target

    @contextlib.contextmanager
    def _funnel(self) -> Iterator[None]:
        try:
            yield
        except ComponentError as e:
            if type(e) is not ComponentError:
                raise
            key = str(self._obj.ErrorKey) if self._obj is not None else ""
            raise _named(e, key) from None

    def _wrap(self, value: Any) -> Any:
        if not isinstance(value, _d.Dispatch):
            return value
        kinds = {"cVenCode": Rule, "iLowerLimit": Tier, "Count": Tiers}
        for member, kind in kinds.items():
            try:
                value._id(member)
            except AttributeError:
                continue
            return kind(value, self)
        return value

    def _call(self, member: str, *args: Any) -> Any:
        if self._obj is None:
            raise Error("the manager is closed")
        with self._funnel():
            return self._wrap(getattr(self._obj, member)(*args))

    def find(self, ven_code: str, inv_code: str, date: _dt.date, *,
             currency: Optional[str] = None, supply_type: Optional[int] = None,
             xml: Optional[str] = None) -> Optional[Rule]:
        """The rule that applies to the vendor, item and date, or None."""
        rule: Optional[Rule] = self._call("GetVenInvPriceRule", ven_code, inv_code, date,
                                          _arg(currency), _arg(supply_type), _arg(xml))
        return rule

    def price(self, ven_code: str, inv_code: str, date: _dt.date, quantity: float, *,
              currency: Optional[str] = None, supply_type: Optional[int] = None,
              xml: Optional[str] = None) -> Optional[Tier]:
        """The price-list tier this purchase gets (tier.rule: its header), or None.
        xml: the free-item values as the component's XML parameter."""
        tier: Optional[Tier] = self._call("GetVenInvPriceRuleItem", ven_code, inv_code, date,
                                          quantity, _arg(currency), _arg(supply_type),
                                          _arg(xml))
        return tier

    def compare(self, inv_code: str, quantity: float, *, supply_type: Optional[int] = None,
                xml: Optional[str] = None, today: Optional[_dt.date] = None) -> Optional[Tier]:
        """The cheapest vendor's tier for the item on the business date (today, else the one
        given to open), prices compared in local currency; None when no price qualifies."""
        kept = self._info.Today
        self._info.Today = today or kept
        try:
            tier: Optional[Tier] = self._call("ComparePrice", inv_code, quantity,
                                              _arg(supply_type), _arg(xml))
        finally:
            self._info.Today = kept
        return tier

    def new_rule(self, **fields: Any) -> Rule:
        """A blank rule with the component's defaults, then the fields given (cVenCode=...).
        Tiers: rule.add_tier(...). Store it with create."""
        rule: Rule = self._call("NewVenInvPriceRule")
        for name, value in fields.items():
            setattr(rule, name, value)
        return rule

    def load(self, id: int) -> Rule:
        """The stored rule with its tiers; NotFound when no rule has that id."""
        rule: Optional[Rule] = self._call("LoadVenInvPriceRule", id)
        if rule is None:
            raise NotFound(_d.COMPONENT_ERROR, "Assert", f"no rule has id {id}")
        return rule

    def create(self, rule: Rule) -> Rule:
        """Stores a new rule (checked first); rule.id and rule.ufts are set."""
        self._call("CreateVenInvPriceRule", rule._obj)
        return rule

    def save(self, rule: Rule) -> None:
        """Stores a changed rule; StaleRule when someone else changed it since it was loaded."""
        self._call("SaveVenInvPriceRule", rule._obj)

    def delete(self, id: int) -> None:
        """Removes a stored rule with its tiers; NotFound when no rule has that id."""
        self._call("RemoveVenInvPriceRule", id)

    def list_rules(self, filter: str = "") -> ResultSet:
        """The rules, with vendor and item names, whose columns meet filter (a condition in the
        database's SQL: "cVenCode = 'V001'"), or all."""
        return ResultSet(self._call("ListVenInvPriceRules", filter), self)

    def list_tiers(self, filter: str = "") -> ResultSet:
        """The tiers of all rules whose columns meet filter, or all."""
        return ResultSet(self._call("ListVenInvPriceRuleItems", filter), self)

    def close(self) -> None:
        """Closes the manager's connection; the manager is not usable afterwards."""
        if self._obj is not None:
            with self._funnel():
                self._obj.ExitManager()
            self._obj = None  # type: ignore[assignment]

    def __enter__(self) -> Manager:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self._obj is None else f"on {self._info.Today}"
        return f"<tamsel.Manager {self._target!r} {state}>"


# A connection text is a list of key=value pairs; a file name seldom starts like one.
_CONNECTION_TEXT = re.compile(r"^\s*[A-Za-z][A-Za-z ]*=")


def open(target: Union[str, "os.PathLike[str]"], *, today: Optional[_dt.date] = None,
         library: Optional[str] = None) -> Manager:
    """A manager on target: the path of an existing embedded database, or a connection text
    ("Provider=SQLite;Data Source=x.db", or an ODBC text). today: the login and business date
    (default: the system's). library: the component library (default: TAMSEL_LIBRARY, else
    libtamsel_publish.so.0). DatabaseUnavailable when the database cannot be opened."""
    text = os.fspath(target)
    if isinstance(target, str) and _CONNECTION_TEXT.match(target):
        shown = re.sub(r"(?i)((?:pwd|password)\s*=)[^;]*", r"\1***", text)
    else:
        if not os.path.isfile(text):
            raise DatabaseUnavailable(_d.COMPONENT_ERROR, "Error", f"database not found: {text}")
        if ";" in text:
            raise DatabaseUnavailable(_d.COMPONENT_ERROR, "Error",
                                      f"database path must not contain ';': {text}")
        shown = text = f"Provider=SQLite;Data Source={os.path.abspath(text)}"
    path = library or os.environ.get("TAMSEL_LIBRARY") or "libtamsel_publish.so.0"
    obj = _d.create_from(path, CLSID_PRICE_RULE_MANAGER, "PriceRuleManager")
    day = today or _dt.date.today()
    info = _Info(day)
    if not obj.InitManager(_d.expose(_Login(text, day)), _d.expose(info)):
        raise DatabaseUnavailable(_d.COMPONENT_ERROR, "Error", str(obj.InitFailure))
    return Manager(obj, info, shown)
