' The suite scripts' shared start; the runner puts it before each script, as
' cscript has no include.
Option Explicit
Dim failures: failures = 0

Sub Check(ok, what)
  If Not ok Then
    WScript.Echo "FAIL " & what
    failures = failures + 1
  End If
End Sub

' Polls Busy, as scripts without event binding do; False after 20 s.
Function WaitUntilIdle(d)
  Dim start: start = Timer
  WaitUntilIdle = True
  Do While d.Busy
    If Abs(Timer - start) > 20 Then
      WaitUntilIdle = False
      Exit Do
    End If
  Loop
End Function

Function ReadAll(fso, path)
  Dim stream: Set stream = fso.OpenTextFile(path, 1)
  ReadAll = ""
  If Not stream.AtEndOfStream Then ReadAll = stream.ReadAll()
  stream.Close
End Function

' Wine's ExpandEnvironmentStrings leaves the terminating NUL in the string.
Function Environment(shell, name)
  Environment = Replace(shell.ExpandEnvironmentStrings("%" & name & "%"), Chr(0), "")
End Function
