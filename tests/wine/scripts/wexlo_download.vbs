' Wexlo.Downloader from VBScript under cscript: arguments by reference receive
' the message texts, a download is polled through Busy, its size, text, a
' saved binary file and a rendered feed are checked.

Function Main()
  Dim shell, fso, port, scratch, d, errText, server, path, r, saved
  Set shell = CreateObject("WScript.Shell")
  Set fso = CreateObject("Scripting.FileSystemObject")
  port = Environment(shell, "WEX_HTTP_PORT")
  scratch = Environment(shell, "WEX_SCRATCH_DIR")

  Set d = CreateObject("Wexlo.Downloader")
  errText = "junk"
  r = d.StartUp(errText)
  Check r = 0, "StartUp " & r
  Check errText = "", "ErrString after a start: " & errText

  ' Refusals write the message into FilePath.
  server = "": path = "/x"
  Check d.RequestFile(server, path) = 113, "empty server"
  Check path = "Server address is missing.", "FilePath after 113: " & path
  server = "127.0.0.1": path = ""
  Check d.RequestFile(server, path) = 114, "empty path"
  Check path = "URL of file to retrieve is missing.", "FilePath after 114: " & path
  d.Port = 1
  server = "127.0.0.1": path = "/x"
  Check d.RequestFile(server, path) = 110, "refused connection"
  Check Right(path, 5) = "10061" And Len(path) > 5, "FilePath after 110: " & path
  Check Not d.Busy, "Busy after refusals"

  d.Port = port
  server = "http://127.0.0.1": path = "/bytes/70000"
  Check d.RequestFile(server, path) = 0, "RequestFile bytes"
  Check path = "/bytes/70000", "FilePath kept: " & path
  Check WaitUntilIdle(d), "bytes finished"
  Check d.CurSize = 70000, "CurSize " & d.CurSize
  saved = scratch & "\wexlo-vbs-bytes.bin"
  Check d.WriteBinaryFile(saved, True) = 0, "WriteBinaryFile"
  Check fso.GetFile(saved).Size = 70000, "saved size " & fso.GetFile(saved).Size
  fso.DeleteFile saved

  Check d.RequestFile("127.0.0.1", "/garden.xml") = 0, "RequestFile garden.xml"
  Check WaitUntilIdle(d), "garden.xml finished"
  Check Left(d.CurFileAsString, 23) = "<?xml version=""1.0""?>" & vbCrLf, "CurFileAsString"
  Check d.FormatCurRSS("ten", True) = "<H2>Garden Notes</H2>", "FormatCurRSS with no number"
  Check InStr(d.FormatCurRSS(10, False), "<H4>Frost warning</H4>") > 0, "FormatCurRSS items"

  d.ShutDown
  Main = failures
End Function

On Error Resume Next
Dim rc: rc = Main()
If Err.Number <> 0 Then
  WScript.Echo "FAIL uncaught: " & Err.Description & " (" & Err.Number & ")"
  rc = 1
End If
WScript.Quit rc
