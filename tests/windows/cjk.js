// A memo in Chinese and Japanese with characters beyond the Basic Multilingual Plane (surrogate
// pairs), through the component into the database over ODBC, back out of a load and a filtered
// list, unchanged to the code unit. JScript rather than VBScript: script files are read as a
// code page, and \u escapes keep this one ASCII. Run in a zh_CN session, it also checks that a
// failure reaches the script in the user's language.
// cscript cjk.js "<ODBC connection text>"; the last line printed is "cjk complete".
var conn = WScript.Arguments(0);
// Dates as text: Wine's JScript has no getVarDate, and the component reads "yyyy-MM-dd".
var day = "2026-11-15";

function check(ok, what) {
  if (!ok) {
    WScript.Echo("FAILED: " + what);
    WScript.Quit(1);
  }
}

function units(text) {
  var out = [];
  for (var i = 0; i < text.length; i++) out.push(text.charCodeAt(i).toString(16));
  return out.join(" ");
}

var memo = "\u4ef7\u683c\u89c4\u5219 \u65e5\u672c\u8a9e\u306e\u30e1\u30e2 " +
    "\ud842\udfb7\u91ce\u5bb6 \ud83d\udce6 \u00e9\u20ac 'quoted'";
var login = {
  ConnectionText: function () { return conn; },
  AuthService: function () { return null; },
  RowAuthText: function () { return ""; },
  LoginDate: function () { return day; }
};
// Members as functions: Wine's JScript fails a property read that is also allowed to be a call,
// which is how the component asks its caller's objects.
var info = {
  bCheckInvAuth: function () { return false; },
  bCheckVendorAuth: function () { return false; },
  Today: function () { return day; },
  TheYear: function () { return 2026; },
  TheMonth: function () { return 11; },
  getdicvalue: function (key) { return false; }
};

try {
  var mgr = new ActiveXObject("Tamsel.PriceRuleManager");
  check(mgr.InitManager(login, info), "InitManager: " + mgr.InitFailure);

  var rule = mgr.NewVenInvPriceRule();
  rule.cVenCode = "V002";
  rule.cInvCode = "A01";
  rule.dEnableDate = "2026-12-01";
  rule.iTaxRate = 13;
  rule.cMemo = memo;
  check(rule.cMemo === memo, "the memo reads back from the object: " + units(rule.cMemo));
  var tier = rule.AddRuleItem();
  tier.iUpperLimit = null;
  tier.iUnitPrice = 2.5;
  tier.iTaxUnitPrice = 2.825;
  mgr.CreateVenInvPriceRule(rule);

  var loaded = mgr.LoadVenInvPriceRule(rule.id);
  check(loaded.cMemo.length === memo.length, "length " + loaded.cMemo.length + ", not " + memo.length);
  check(loaded.cMemo === memo, "the stored memo: " + units(loaded.cMemo));

  var rs = mgr.ListVenInvPriceRules("cMemo = N'" + memo.replace(/'/g, "''") + "'");
  check(!rs.EOF, "the list finds the rule by its memo");
  check(rs.Fields("cMemo") === memo, "the listed memo: " + units(rs.Fields("cMemo")));
  check(rs.Fields("id") === rule.id, "the listed rule is the one created");
  rs.Close();

  // Run in a Chinese (PRC) session: the component's messages follow the user's language.
  var missing = "\u8981\u5220\u9664\u7684\u4ef7\u683c\u89c4\u5219\u4e0d\u5b58\u5728\u3002";
  var refused = "";
  try {
    mgr.RemoveVenInvPriceRule(999999);
  } catch (e) {
    refused = e.description;
  }
  check(refused === missing, "removing a missing rule is refused in Chinese: " + units(refused));

  check(mgr.ExitManager(), "ExitManager");
  WScript.Echo("stored and read back " + memo.length + " code units");
} catch (e) {
  // Wine's script host would end silently.
  check(false, "thrown: " + e.message + " (" + (e.number >>> 0).toString(16) + ")");
}
WScript.Echo("cjk complete");
