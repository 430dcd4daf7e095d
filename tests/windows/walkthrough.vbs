' A caller's whole life through the in-process server, as a script host sees it: the login and
' information objects are VBScript classes that the component calls back by name.
' cscript walkthrough.vbs "<ODBC connection text>"; the last line printed is "walkthrough complete".
Option Explicit

Class Login
  Public mConnectionText
  Public RowAuthText
  Public LoginDate
  Public Function ConnectionText()
    ConnectionText = mConnectionText
  End Function
  Public Function AuthService()
    Set AuthService = Nothing
  End Function
End Class

Class Info
  Public bCheckInvAuth
  Public bCheckVendorAuth
  Public Today
  Public TheYear
  Public TheMonth
  Public Function getdicvalue(key)
    getdicvalue = False
  End Function
End Class

Sub Check(condition, what)
  If Not condition Then
    WScript.Echo "FAILED: " & what
    WScript.Quit 1
  End If
End Sub

Dim login, info, mgr, rule, item, tax, created, mine, theirs, rs, tier, count, today
today = DateSerial(2026, 11, 15)
Set login = New Login
login.mConnectionText = WScript.Arguments(0)
login.RowAuthText = ""
login.LoginDate = today
Set info = New Info
info.bCheckInvAuth = False
info.bCheckVendorAuth = False
info.Today = today
info.TheYear = 2026
info.TheMonth = 11

Set mgr = CreateObject("Tamsel.PriceRuleManager")
Check mgr.InitManager(login, info), "InitManager: " & mgr.InitFailure

Set rule = mgr.GetVenInvPriceRule("V001", "A01", today)
Check Not rule Is Nothing, "a rule for V001/A01"
WScript.Echo "rule " & rule.id & ": " & rule.cVenCode & "/" & rule.cInvCode & " " & rule.cExchName
Set item = mgr.GetVenInvPriceRuleItem("V001", "A01", today, 150)
Check Not item Is Nothing, "a price for 150 x A01"
WScript.Echo "price of 150 x A01 at V001: " & item.iUnitPrice
Set item = mgr.ComparePrice("A01", 150)
Check Not item Is Nothing, "a cheapest vendor for A01"
WScript.Echo "cheapest for A01: " & item.objRule.cVenCode & " at " & item.iUnitPrice
tax = False
mgr.GetbTaxType "V001", tax
WScript.Echo "V001 taxed: " & tax

Set created = mgr.NewVenInvPriceRule()
created.cVenCode = "V002"
created.cInvCode = "A01"
created.dEnableDate = "2026-12-01"
created.iTaxRate = 13
created.cMemo = "from VBScript"
Set tier = created.AddRuleItem()
tier.iUpperLimit = 100
tier.iUnitPrice = 2.5
tier.iTaxUnitPrice = 2.825
Set tier = created.AddRuleItem()
tier.iUpperLimit = Null
tier.iUnitPrice = 2.2
tier.iTaxUnitPrice = 2.486
mgr.CreateVenInvPriceRule created
Check created.id > 0, "the created rule has an id"
Check created.ruleItems.Count = 2, "the created rule keeps two tiers"
WScript.Echo "created rule " & created.id & " with " & created.ruleItems.Count & " tiers"

Set mine = mgr.LoadVenInvPriceRule(created.id)
Set theirs = mgr.LoadVenInvPriceRule(created.id)
Check mine.ruleItems.Item(2).iUpperLimit & "" = "", "the loaded last tier has no upper limit"
mine.cMemo = "changed here"
mgr.SaveVenInvPriceRule mine
theirs.cMemo = "changed elsewhere"
On Error Resume Next
mgr.SaveVenInvPriceRule theirs
Dim number, source, description
number = Err.Number
source = Err.Source
description = Err.Description
On Error GoTo 0
Check number = -2147220503, "a stale save is refused with the component error, not " & number
Check source = "Assert", "the error's source is Assert, not " & source
Check Len(description) > 0, "the refusal says why"
WScript.Echo "stale save refused: " & description
Check mgr.LoadVenInvPriceRule(created.id).cMemo = "changed here", "the first save stands"

Set rs = mgr.ListVenInvPriceRules("cInvCode='A01'")
count = 0
Do While Not rs.EOF
  WScript.Echo "  " & rs("id") & " " & rs("cVenCode") & " " & rs("dEnableDate") & " " & rs("cMemo")
  count = count + 1
  rs.MoveNext
Loop
rs.Close
Check count >= 2, "the list has the demo rule and the new one"

Check mgr.ExitManager(), "ExitManager"
Check Not mgr.ExitManager(), "a second ExitManager has nothing to close"
WScript.Echo "walkthrough complete"
