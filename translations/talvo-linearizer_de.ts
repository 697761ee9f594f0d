<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>CurveModel</name>
    <message>
        <source>values</source>
        <translation>Werte</translation>
    </message>
    <message>
        <source>input value</source>
        <translation>Eingangswert</translation>
    </message>
    <message>
        <source>display value</source>
        <translation>Anzeigewert</translation>
    </message>
    <message>
        <source>Point %1 has no %2</source>
        <translation>Punkt %1 hat keinen %2</translation>
    </message>
    <message>
        <source> (%1 more incomplete)</source>
        <translation> (%1 weitere unvollständig)</translation>
    </message>
    <message>
        <source>point %1: </source>
        <translation>Punkt %1: </translation>
    </message>
    <message>
        <source>Table OK, %1 points</source>
        <translation>Tabelle in Ordnung, %1 Punkte</translation>
    </message>
</context>
<context>
    <name>CurveWindow</name>
    <message>
        <source>Linearization Curve</source>
        <translation>Linearisierungskurve</translation>
    </message>
    <message>
        <source>Save Image...</source>
        <translation>Bild speichern...</translation>
    </message>
    <message>
        <source>PNG Image (*.png)|*.png|SVG Image (*.svg)|*.svg</source>
        <translation>PNG-Bild (*.png)|*.png|SVG-Bild (*.svg)|*.svg</translation>
    </message>
    <message>
        <source>Save Image</source>
        <translation>Bild speichern</translation>
    </message>
    <message>
        <source>The image could not be written to %1</source>
        <translation>Das Bild konnte nicht nach %1 geschrieben werden</translation>
    </message>
</context>
<context>
    <name>Fit</name>
    <message>
        <source>minimum input step </source>
        <translation>minimaler Eingangsschritt </translation>
    </message>
    <message>
        <source>display range %1 to %2</source>
        <translation>Anzeigebereich %1 bis %2</translation>
    </message>
    <message>
        <source>display range</source>
        <translation>Anzeigebereich</translation>
    </message>
    <message>
        <source>%1-point maximum</source>
        <translation>Höchstzahl von %1 Punkten</translation>
    </message>
</context>
<context>
    <name>FitDialog</name>
    <message>
        <source>Data file</source>
        <translation>Datendatei</translation>
    </message>
    <message>
        <source>Square root</source>
        <translation>Quadratwurzel</translation>
    </message>
    <message>
        <source>Power law</source>
        <translation>Potenzfunktion</translation>
    </message>
    <message>
        <source>Exponent P</source>
        <translation>Exponent P</translation>
    </message>
    <message>
        <source>Horizontal cylinder</source>
        <translation>Liegender Zylinder</translation>
    </message>
    <message>
        <source>Cylinder with round ends</source>
        <translation>Zylinder mit runden Enden</translation>
    </message>
    <message>
        <source>Length / diameter R</source>
        <translation>Länge / Durchmesser R</translation>
    </message>
    <message>
        <source>Cylinder with dished heads</source>
        <translation>Zylinder mit Klöpperböden</translation>
    </message>
    <message>
        <source>R, head depth A (diameters)</source>
        <translation>R, Bodentiefe A (Durchmesser)</translation>
    </message>
    <message>
        <source>Sphere</source>
        <translation>Kugel</translation>
    </message>
    <message>
        <source>Conical bottom</source>
        <translation>Konischer Boden</translation>
    </message>
    <message>
        <source>Cone part of level F</source>
        <translation>Konusanteil am Füllstand F</translation>
    </message>
    <message>
        <source>Dished bottom</source>
        <translation>Gewölbter Boden</translation>
    </message>
    <message>
        <source>Dished part of level F</source>
        <translation>Bodenanteil am Füllstand F</translation>
    </message>
    <message>
        <source>Fit Points</source>
        <translation>Stützpunkte anpassen</translation>
    </message>
    <message>
        <source>no file chosen</source>
        <translation>keine Datei</translation>
    </message>
    <message>
        <source>Browse...</source>
        <translation>Durchsuchen...</translation>
    </message>
    <message>
        <source>all of column A</source>
        <translation>ganze Spalte A</translation>
    </message>
    <message>
        <source>Number of points</source>
        <translation>Anzahl der Punkte</translation>
    </message>
    <message>
        <source>Maximum error</source>
        <translation>Maximaler Fehler</translation>
    </message>
    <message>
        <source>Least error</source>
        <translation>Kleinster Fehler</translation>
    </message>
    <message>
        <source>On data points</source>
        <translation>Auf Datenpunkten</translation>
    </message>
    <message>
        <source>Ends on the source</source>
        <translation>Enden auf der Quelle</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>Span of column A X0:X1</source>
        <translation>Bereich von Spalte A X0:X1</translation>
    </message>
    <message>
        <source>Input range A:B</source>
        <translation>Eingangsbereich A:B</translation>
    </message>
    <message>
        <source>Display range C:D</source>
        <translation>Anzeigebereich C:D</translation>
    </message>
    <message>
        <source>Input type</source>
        <translation>Eingangsart</translation>
    </message>
    <message>
        <source>Decimal point</source>
        <translation>Dezimalpunkt</translation>
    </message>
    <message>
        <source>Placement</source>
        <translation>Lage der Punkte</translation>
    </message>
    <message>
        <source>column A as it stands</source>
        <translation>Spalte A unverändert</translation>
    </message>
    <message>
        <source>Parameter</source>
        <translation>Parameter</translation>
    </message>
    <message>
        <source>On the curve</source>
        <translation>Auf der Kurve</translation>
    </message>
    <message>
        <source>Data (*.csv *.txt *.xlsx *.xls *.ods)|*.csv;*.txt;*.xlsx;*.xls;*.ods|All Files (*.*)|*.*</source>
        <translation>Daten (*.csv *.txt *.xlsx *.xls *.ods)|*.csv;*.txt;*.xlsx;*.xls;*.ods|Alle Dateien (*.*)|*.*</translation>
    </message>
    <message>
        <source>Data to Fit</source>
        <translation>Daten für die Anpassung</translation>
    </message>
    <message>
        <source>The display range takes two numbers in display units, C:D</source>
        <translation>Der Anzeigebereich braucht zwei Zahlen in Anzeigeeinheiten, C:D</translation>
    </message>
    <message>
        <source>Choose a data file</source>
        <translation>Wählen Sie eine Datendatei</translation>
    </message>
    <message>
        <source>The span takes two numbers in column A&apos;s units, X0:X1</source>
        <translation>Der Bereich braucht zwei Zahlen in den Einheiten von Spalte A, X0:X1</translation>
    </message>
    <message>
        <source>The input range takes two numbers in %1, A:B</source>
        <translation>Der Eingangsbereich braucht zwei Zahlen in %1, A:B</translation>
    </message>
    <message>
        <source>The maximum error takes a number above 0, in display units</source>
        <translation>Der maximale Fehler braucht eine Zahl über 0, in Anzeigeeinheiten</translation>
    </message>
    <message>
        <source>%1 points: </source>
        <translation>%1 Punkte: </translation>
    </message>
    <message>
        <source>%1 points cannot reach a maximum error of %2; this is the best table of %1 points.</source>
        <translation>Mit %1 Punkten ist ein maximaler Fehler von %2 nicht erreichbar; dies ist die beste Tabelle mit %1 Punkten.</translation>
    </message>
    <message>
        <source>Voltage</source>
        <translation>Spannung</translation>
    </message>
    <message>
        <source>Current</source>
        <translation>Strom</translation>
    </message>
    <message>
        <source>Pulse</source>
        <translation>Impuls</translation>
    </message>
</context>
<context>
    <name>FitMode</name>
    <message>
        <source>max error %1 (%2 % of span) at %3 %4</source>
        <translation>max. Fehler %1 (%2 % der Spanne) bei %3 %4</translation>
    </message>
    <message>
        <source>, within %1 % of the best possible</source>
        <translation>, höchstens %1 % über dem bestmöglichen</translation>
    </message>
    <message>
        <source>, within %1 of the best possible</source>
        <translation>, höchstens %1 über dem bestmöglichen</translation>
    </message>
    <message>
        <source>; ends free</source>
        <translation>; Enden frei</translation>
    </message>
    <message>
        <source>; ends on the source</source>
        <translation>; Enden auf der Quelle</translation>
    </message>
    <message>
        <source>; limited by the </source>
        <translation>; begrenzt durch: </translation>
    </message>
    <message>
        <source>; %1 points reach the same error</source>
        <translation>; %1 Punkte erreichen denselben Fehler</translation>
    </message>
</context>
<context>
    <name>FitPreview</name>
    <message>
        <source>No preview</source>
        <translation>Keine Vorschau</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>Eingang</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>Table</source>
        <translation>Tabelle</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Table (%1 points)</source>
        <translation>Tabelle (%1 Punkte)</translation>
    </message>
    <message>
        <source>Error (below)</source>
        <translation>Fehler (unten)</translation>
    </message>
    <message>
        <source>max %1</source>
        <translation>max. %1</translation>
    </message>
</context>
<context>
    <name>FlexGrid</name>
    <message>
        <source>Row</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>Eingang</translation>
    </message>
    <message>
        <source>Display</source>
        <translation>Anzeige</translation>
    </message>
    <message>
        <source>Point %1 %2</source>
        <translation>Punkt %1 %2</translation>
    </message>
</context>
<context>
    <name>HistoryDialog</name>
    <message>
        <source>History - %1</source>
        <translation>Verlauf - %1</translation>
    </message>
    <message>
        <source>tag or address</source>
        <translation>Kennung oder Adresse</translation>
    </message>
    <message>
        <source>All runs</source>
        <translation>Alle Läufe</translation>
    </message>
    <message>
        <source>Programmed</source>
        <translation>Programmiert</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Save Record...</source>
        <translation>Protokoll speichern...</translation>
    </message>
    <message>
        <source>Print Record...</source>
        <translation>Protokoll drucken...</translation>
    </message>
    <message>
        <source>Filter:</source>
        <translation>Filter:</translation>
    </message>
    <message>
        <source>ID</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>UUID</source>
        <translation>UUID</translation>
    </message>
    <message>
        <source>Started</source>
        <translation>Beginn</translation>
    </message>
    <message>
        <source>Ended</source>
        <translation>Ende</translation>
    </message>
    <message>
        <source>Host</source>
        <translation>Rechner</translation>
    </message>
    <message>
        <source>Operator</source>
        <translation>Bediener</translation>
    </message>
    <message>
        <source>Tag</source>
        <translation>Kennung</translation>
    </message>
    <message>
        <source>Port</source>
        <translation>Schnittstelle</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Baud</source>
        <translation>Baud</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit-Status</translation>
    </message>
    <message>
        <source>Points</source>
        <translation>Punkte</translation>
    </message>
    <message>
        <source>Table SHA-256</source>
        <translation>Tabellen-SHA-256</translation>
    </message>
    <message numerus="yes">
        <source>%n run(s)</source>
        <translation>
            <numerusform>%n Lauf</numerusform>
            <numerusform>%n Läufe</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>MeterLink</name>
    <message>
        <source>The meter address &quot;%1&quot; is not one a meter takes (001 to 247).</source>
        <translation>Die Adresse „%1“ nimmt kein Messgerät an (001 bis 247).</translation>
    </message>
    <message>
        <source>The baud rate &quot;%1&quot; is not one a meter takes (300 to 19200).</source>
        <translation>Die Baudrate „%1“ nimmt kein Messgerät an (300 bis 19200).</translation>
    </message>
    <message>
        <source>The number of points &quot;%1&quot; is not one a meter takes (%2 to %3).</source>
        <translation>Die Punktanzahl „%1“ nimmt kein Messgerät an (%2 bis %3).</translation>
    </message>
    <message>
        <source>Meter error code</source>
        <translation>Fehlercode des Messgeräts</translation>
    </message>
    <message>
        <source>Error writing output option: <byte value="xd"/>
</source>
        <translation>Fehler beim Schreiben der Ausgabeoption: <byte value="xd"/>
</translation>
    </message>
</context>
<context>
    <name>PortDetails</name>
    <message>
        <source>A serial port on a network server (RFC 2217): the rate is set through it</source>
        <translation>Eine serielle Schnittstelle auf einem Netzwerkserver (RFC 2217): die Baudrate wird über ihn eingestellt</translation>
    </message>
    <message>
        <source>A serial port on a network server (raw TCP): the rate is the server&apos;s</source>
        <translation>Eine serielle Schnittstelle auf einem Netzwerkserver (reines TCP): die Baudrate ist die des Servers</translation>
    </message>
    <message>
        <source>Manufacturer</source>
        <translation>Hersteller</translation>
    </message>
    <message>
        <source>Product</source>
        <translation>Produkt</translation>
    </message>
    <message>
        <source>Serial number</source>
        <translation>Seriennummer</translation>
    </message>
    <message>
        <source>By id: %1</source>
        <translation>Nach Kennung: %1</translation>
    </message>
    <message>
        <source>Port %1 is %2</source>
        <translation>Anschluss %1 ist %2</translation>
    </message>
    <message>
        <source>No port is offered: you have no permission to open the serial devices.</source>
        <translation>Kein Anschluss verfügbar: Sie haben keine Berechtigung, die seriellen Geräte zu öffnen.</translation>
    </message>
    <message>
        <source>Left out, no permission: %1</source>
        <translation>Ausgelassen, keine Berechtigung: %1</translation>
    </message>
    <message>
        <source>To use them, add your user to the &quot;dialout&quot; group (for example: sudo usermod -aG dialout $USER), then log out and log in again.</source>
        <translation>Um sie zu nutzen, nehmen Sie Ihren Benutzer in die Gruppe „dialout“ auf (zum Beispiel: sudo usermod -aG dialout $USER), melden Sie sich dann ab und wieder an.</translation>
    </message>
</context>
<context>
    <name>RunMessages</name>
    <message>
        <source>Error Detected</source>
        <translation>Fehler erkannt</translation>
    </message>
    <message>
        <source>Processing...</source>
        <translation>In Arbeit...</translation>
    </message>
    <message>
        <source>   Information has been successfully sent to the meter!</source>
        <translation>   Die Daten wurden erfolgreich an das Messgerät gesendet!</translation>
    </message>
    <message>
        <source>   The meter did not take %1 of the point values.</source>
        <translation>   Das Messgerät hat %1 der Punktwerte nicht angenommen.</translation>
    </message>
    <message>
        <source>   Its table is incomplete: please program the meter again.</source>
        <translation>   Seine Tabelle ist unvollständig: Bitte programmieren Sie das Messgerät erneut.</translation>
    </message>
    <message>
        <source>Please verify the following conditions:</source>
        <translation>Bitte prüfen Sie Folgendes:</translation>
    </message>
    <message>
        <source>   1.  Meter power is on</source>
        <translation>   1.  Das Messgerät ist eingeschaltet</translation>
    </message>
    <message>
        <source>   2.  Correct Comm. Port is in use</source>
        <translation>   2.  Die richtige Schnittstelle ist gewählt</translation>
    </message>
    <message>
        <source>   3.  Check serial connection to meter</source>
        <translation>   3.  Die serielle Verbindung zum Messgerät ist in Ordnung</translation>
    </message>
    <message>
        <source>   4.  Confirm Address and Baud Rate of the meter match</source>
        <translation>   4.  Adresse und Baudrate des Messgeräts stimmen mit den</translation>
    </message>
    <message>
        <source>         selected settings</source>
        <translation>         gewählten Einstellungen überein</translation>
    </message>
    <message>
        <source>Communication Error</source>
        <translation>Kommunikationsfehler</translation>
    </message>
    <message>
        <source>Tried: PC Comm Port %1, address %2, %3 baud.</source>
        <translation>Versucht: PC-Schnittstelle %1, Adresse %2, %3 Baud.</translation>
    </message>
    <message>
        <source>Tried: PC Comm Port %1 (%2), address %3, %4 baud.</source>
        <translation>Versucht: PC-Schnittstelle %1 (%2), Adresse %3, %4 Baud.</translation>
    </message>
    <message>
        <source>Serial Settings &gt; Find Meter... searches every address and baud rate for the meter.</source>
        <translation>Schnittstelle &gt; Messgerät suchen... durchsucht alle Adressen und Baudraten nach dem Messgerät.</translation>
    </message>
    <message>
        <source>This program requires firmware Ver. 1.100 or greater to use.</source>
        <translation>Dieses Programm erfordert die Firmware-Version 1.100 oder neuer.</translation>
    </message>
    <message>
        <source>Please contact Technical Support at Quillon for more information.</source>
        <translation>Weitere Auskunft gibt der technische Support von Quillon.</translation>
    </message>
    <message>
        <source>Serial port timeout: OOwr.</source>
        <translation>Zeitüberschreitung an der seriellen Schnittstelle: OOwr.</translation>
    </message>
    <message>
        <source>No PC Comm Port is selected.</source>
        <translation>Es ist keine PC-Schnittstelle gewählt.</translation>
    </message>
    <message>
        <source>PC Comm Port %1 is not connected to any device.</source>
        <translation>Die PC-Schnittstelle %1 ist mit keinem Gerät verbunden.</translation>
    </message>
    <message>
        <source>PC Comm Port %1 (%2) cannot be used.</source>
        <translation>Die PC-Schnittstelle %1 (%2) kann nicht benutzt werden.</translation>
    </message>
    <message>
        <source>Reason: %1</source>
        <translation>Grund: %1</translation>
    </message>
    <message>
        <source>You have no permission to use this port. To get access, add your user to the &quot;dialout&quot; group (for example: sudo usermod -aG dialout $USER), then log out and log in again.</source>
        <translation>Sie haben keine Berechtigung für diese Schnittstelle. Nehmen Sie Ihren Benutzer in die Gruppe „dialout“ auf (zum Beispiel: sudo usermod -aG dialout $USER), melden Sie sich dann ab und wieder an.</translation>
    </message>
    <message>
        <source>The meter is being programmed. If the window closes now, the meter will be only partly programmed.<byte value="xd"/>
<byte value="xd"/>
Close the window anyway?</source>
        <translation>Das Messgerät wird gerade programmiert. Wird das Fenster jetzt geschlossen, ist das Messgerät nur teilweise programmiert.<byte value="xd"/>
<byte value="xd"/>
Fenster trotzdem schließen?</translation>
    </message>
</context>
<context>
    <name>SetupDocument</name>
    <message>
        <source>Point %1</source>
        <translation>Punkt %1</translation>
    </message>
</context>
<context>
    <name>TableCheck</name>
    <message>
        <source>Please correct your values to reflect the minimum input span</source>
        <translation>Bitte korrigieren Sie Ihre Werte, sodass sie die minimale Eingangsspanne einhalten</translation>
    </message>
    <message>
        <source>Please enter value for every point or reset the number of points</source>
        <translation>Bitte geben Sie für jeden Punkt einen Wert ein oder ändern Sie die Anzahl der Punkte</translation>
    </message>
    <message>
        <source>Missing Point Value</source>
        <translation>Fehlender Punktwert</translation>
    </message>
    <message>
        <source>Input values for Voltage must be between -10.000 and 10.000 (V)</source>
        <translation>Eingangswerte für Spannung müssen zwischen -10.000 und 10.000 (V) liegen</translation>
    </message>
    <message>
        <source>Input values for Current must be between 0.000 and 23.000 (mA)</source>
        <translation>Eingangswerte für Strom müssen zwischen 0.000 und 23.000 (mA) liegen</translation>
    </message>
    <message>
        <source>The minimum input span for Voltage is 0.10 VDC</source>
        <translation>Die minimale Eingangsspanne für Spannung beträgt 0.10 V DC</translation>
    </message>
    <message>
        <source>The minimum input span for Current is 0.15 mA</source>
        <translation>Die minimale Eingangsspanne für Strom beträgt 0.15 mA</translation>
    </message>
    <message>
        <source>Check Input Values and correct one or both of the following:</source>
        <translation>Prüfen Sie die Eingangswerte und beheben Sie einen oder beide der folgenden Fehler:</translation>
    </message>
    <message>
        <source>1. Input value is less than a previously entered input value</source>
        <translation>1. Ein Eingangswert ist kleiner als ein zuvor eingegebener Eingangswert</translation>
    </message>
    <message>
        <source>2. Input value is the same as a previously entered input value</source>
        <translation>2. Ein Eingangswert ist gleich einem zuvor eingegebenen Eingangswert</translation>
    </message>
    <message>
        <source>Input Value Error</source>
        <translation>Fehler im Eingangswert</translation>
    </message>
    <message>
        <source>Input values for Pulse must be between 0 and 30,000 (Hz)</source>
        <translation>Eingangswerte für Impuls müssen zwischen 0 und 30,000 (Hz) liegen</translation>
    </message>
    <message>
        <source>The minimum input span for Pulse is 10 Hz</source>
        <translation>Die minimale Eingangsspanne für Impuls beträgt 10 Hz</translation>
    </message>
    <message>
        <source>Point %1 is outside this range.</source>
        <translation>Punkt %1 liegt außerhalb dieses Bereichs.</translation>
    </message>
</context>
<context>
    <name>ValueRules</name>
    <message>
        <source>Invalid Scale Value</source>
        <translation>Ungültiger Skalierungswert</translation>
    </message>
    <message>
        <source>Invalid Display Value</source>
        <translation>Ungültiger Anzeigewert</translation>
    </message>
    <message>
        <source>Scale input value must be between -10.000 and 10.000 (V) for Voltage</source>
        <translation>Der Eingangswert muss für Spannung zwischen -10.000 und 10.000 (V) liegen</translation>
    </message>
    <message>
        <source>Scale input value must be between 0.000 and 23.000 (mA) for Current</source>
        <translation>Der Eingangswert muss für Strom zwischen 0.000 und 23.000 (mA) liegen</translation>
    </message>
    <message>
        <source>Scale input value must be between 0 and 30,000 (Hz) for Pulse</source>
        <translation>Der Eingangswert muss für Impuls zwischen 0 und 30,000 (Hz) liegen</translation>
    </message>
    <message>
        <source>Display value must be between %1 and %2 for selected decimal pt.</source>
        <translation>Der Anzeigewert muss für den gewählten Dezimalpunkt zwischen %1 und %2 liegen.</translation>
    </message>
    <message>
        <source>Scale input value must be a number</source>
        <translation>Der Eingangswert muss eine Zahl sein</translation>
    </message>
    <message>
        <source>Display value must be a number</source>
        <translation>Der Anzeigewert muss eine Zahl sein</translation>
    </message>
    <message>
        <source>Input (V)</source>
        <translation>Eing. (V)</translation>
    </message>
    <message>
        <source>Input (mA)</source>
        <translation>Eing. (mA)</translation>
    </message>
    <message>
        <source>Input (Hz)</source>
        <translation>Eing. (Hz)</translation>
    </message>
</context>
<context>
    <name>frmMain</name>
    <message>
        <source>Talvo Series - Multi-Point Linearization Utility</source>
        <translation>Talvo Series - Mehrpunkt-Linearisierung</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>Open Settings</source>
        <translation>Einstellungen öffnen</translation>
    </message>
    <message>
        <source>Save Settings</source>
        <translation>Einstellungen speichern</translation>
    </message>
    <message>
        <source>Save Record...</source>
        <translation>Protokoll speichern...</translation>
    </message>
    <message>
        <source>Print Record...</source>
        <translation>Protokoll drucken...</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>Linearization Curve</source>
        <translation>Linearisierungskurve</translation>
    </message>
    <message>
        <source>&amp;Serial Settings</source>
        <translation>&amp;Schnittstelle</translation>
    </message>
    <message>
        <source>Find Meter...</source>
        <translation>Messgerät suchen...</translation>
    </message>
    <message>
        <source>Recent Files</source>
        <translation>Zuletzt verwendete Dateien</translation>
    </message>
    <message>
        <source>The file %1 is no longer there. It is removed from the recent files.</source>
        <translation>Die Datei %1 ist nicht mehr vorhanden. Sie wird aus den zuletzt verwendeten Dateien entfernt.</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>E&amp;xtras</translation>
    </message>
    <message>
        <source>Fit Points...</source>
        <translation>Stützpunkte anpassen...</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>&amp;Über</translation>
    </message>
    <message>
        <source>Multi-Point Linearization Utility</source>
        <translation>Mehrpunkt-Linearisierung</translation>
    </message>
    <message>
        <source>Meter Setup</source>
        <translation>Messgerät einrichten</translation>
    </message>
    <message>
        <source>Configuration</source>
        <translation>Konfiguration</translation>
    </message>
    <message>
        <source>Decimal Point</source>
        <translation>Dezimalpunkt</translation>
    </message>
    <message>
        <source>Input</source>
        <translation>Eingang</translation>
    </message>
    <message>
        <source>Voltage</source>
        <translation>Spann.</translation>
    </message>
    <message>
        <source>Current</source>
        <translation>Strom</translation>
    </message>
    <message>
        <source>Pulse</source>
        <translation>Impuls</translation>
    </message>
    <message>
        <source>Serial Settings</source>
        <translation>Schnittstelle</translation>
    </message>
    <message>
        <source>Meter Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>PC Comm Port</source>
        <translation>PC-Anschluss</translation>
    </message>
    <message>
        <source>Baud Rate</source>
        <translation>Baudrate</translation>
    </message>
    <message>
        <source>Number of Points</source>
        <translation>Anzahl der Stützpunkte</translation>
    </message>
    <message>
        <source>Row</source>
        <translation>Nr.</translation>
    </message>
    <message>
        <source>Input (mA) </source>
        <translation>Eing. (mA) </translation>
    </message>
    <message>
        <source>Display</source>
        <translation>Anzeige</translation>
    </message>
    <message>
        <source>Press ENTER to confirm value and move to next cell</source>
        <translation>EINGABE bestätigt den Wert und geht zur nächsten Zelle</translation>
    </message>
    <message>
        <source>No. of Points</source>
        <translation>Punkte</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Löschen</translation>
    </message>
    <message>
        <source>Clears contents of selected cells and allows user to change number of points</source>
        <translation>Löscht den Inhalt der gewählten Zellen und erlaubt, die Anzahl der Punkte zu ändern</translation>
    </message>
    <message>
        <source>Import</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>Import values from Microsoft Excel spreadsheet</source>
        <translation>Werte aus einer Microsoft-Excel-Tabelle importieren</translation>
    </message>
    <message>
        <source>Export</source>
        <translation>Export</translation>
    </message>
    <message>
        <source>Export values to a Microsoft Excel spreadsheet</source>
        <translation>Werte in eine Microsoft-Excel-Tabelle exportieren</translation>
    </message>
    <message>
        <source>Program Meter</source>
        <translation>Programmieren</translation>
    </message>
    <message>
        <source>Note:  For use with Firmware Ver. 1.100 or later only</source>
        <translation>Hinweis:  Nur für Firmware ab Version 1.100</translation>
    </message>
    <message>
        <source>Linearization table</source>
        <translation>Linearisierungstabelle</translation>
    </message>
    <message>
        <source>Cell value</source>
        <translation>Zellenwert</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Programming progress</source>
        <translation>Fortschritt der Programmierung</translation>
    </message>
    <message>
        <source>  Display</source>
        <translation>  Anzeige</translation>
    </message>
    <message>
        <source>This program is already running</source>
        <translation>Dieses Programm läuft bereits</translation>
    </message>
    <message>
        <source>Detected available PC Comm. Ports...</source>
        <translation>Verfügbare PC-Anschlüsse erkannt...</translation>
    </message>
    <message>
        <source>Copyright (C) 2026 Quillon. All rights reserved.</source>
        <translation>Copyright (C) 2026 Quillon. Alle Rechte vorbehalten.</translation>
    </message>
    <message>
        <source>Version: %1</source>
        <translation>Version: %1</translation>
    </message>
    <message>
        <source>Designed in 800 x 600 resolution</source>
        <translation>Entworfen für eine Auflösung von 800 x 600</translation>
    </message>
    <message>
        <source>Note:  For use with Firmware Version 1.100 or later only</source>
        <translation>Hinweis:  Nur für Firmware ab Version 1.100</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Are you sure you want to exit the program?</source>
        <translation>Möchten Sie das Programm wirklich beenden?</translation>
    </message>
    <message>
        <source>Exit Program</source>
        <translation>Programm beenden</translation>
    </message>
    <message>
        <source>Fit Points</source>
        <translation>Stützpunkte anpassen</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Protokoll</translation>
    </message>
    <message>
        <source>meter serial number or tank tag</source>
        <translation>Seriennr. / Tank-Nr.</translation>
    </message>
    <message>
        <source>Operator:</source>
        <translation>Bearbeiter:</translation>
    </message>
    <message>
        <source>Tag:</source>
        <translation>Kennung:</translation>
    </message>
    <message>
        <source>PDF (*.pdf)|*.pdf|JSON (*.json)|*.json</source>
        <translation>PDF (*.pdf)|*.pdf|JSON (*.json)|*.json</translation>
    </message>
    <message>
        <source>Save Record</source>
        <translation>Protokoll speichern</translation>
    </message>
    <message>
        <source>The record %1 cannot be written: %2</source>
        <translation>Das Protokoll %1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Record saved</source>
        <translation>Protokoll gespeichert</translation>
    </message>
    <message>
        <source>The record cannot be printed.</source>
        <translation>Das Protokoll kann nicht gedruckt werden.</translation>
    </message>
    <message>
        <source>Searching port %1...</source>
        <translation>Durchsuche Anschluss %1...</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Find Meter</source>
        <translation>Messgerät suchen</translation>
    </message>
    <message>
        <source>Searching port %1: address %2 at %3 baud...</source>
        <translation>Durchsuche Anschluss %1: Adresse %2 mit %3 Baud...</translation>
    </message>
    <message>
        <source>Search cancelled</source>
        <translation>Suche abgebrochen</translation>
    </message>
    <message>
        <source>No meter found</source>
        <translation>Kein Messgerät gefunden</translation>
    </message>
    <message>
        <source>1 meter found</source>
        <translation>1 Messgerät gefunden</translation>
    </message>
    <message>
        <source>%1 meters found</source>
        <translation>%1 Messgeräte gefunden</translation>
    </message>
    <message>
        <source>No meter answered on port %1 at any address or baud rate.</source>
        <translation>An Anschluss %1 hat bei keiner Adresse und keiner Baudrate ein Messgerät geantwortet.</translation>
    </message>
    <message>
        <source>Meters that answered on port %1:</source>
        <translation>Messgeräte, die an Anschluss %1 geantwortet haben:</translation>
    </message>
    <message>
        <source>Meters found</source>
        <translation>Gefundene Messgeräte</translation>
    </message>
    <message>
        <source>Address %1 at %2 baud, firmware %3</source>
        <translation>Adresse %1 mit %2 Baud, Firmware %3</translation>
    </message>
    <message>
        <source>Use</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>Address %1 and %2 baud set</source>
        <translation>Adresse %1 und %2 Baud eingestellt</translation>
    </message>
    <message>
        <source>Text (*.txt)|*.txt|All Files (*.*)|*.*</source>
        <translation>Text (*.txt)|*.txt|Alle Dateien (*.*)|*.*</translation>
    </message>
    <message>
        <source>User Settings</source>
        <translation>Benutzereinstellungen</translation>
    </message>
    <message>
        <source>The settings could not be saved to %1<byte value="xd"/>
%2<byte value="xd"/>
Any file already there is unchanged.</source>
        <translation>Die Einstellungen konnten nicht in %1 gespeichert werden<byte value="xd"/>
%2<byte value="xd"/>
Eine dort vorhandene Datei ist unverändert.</translation>
    </message>
    <message>
        <source>File: - [%1]</source>
        <translation>Datei: - [%1]</translation>
    </message>
    <message>
        <source>The settings file %1 could not be opened.<byte value="xd"/>
%2</source>
        <translation>Die Einstellungsdatei %1 konnte nicht geöffnet werden.<byte value="xd"/>
%2</translation>
    </message>
    <message>
        <source>The settings file %1 could not be read completely: reading stopped at line %2.<byte value="xd"/>
%3</source>
        <translation>Die Einstellungsdatei %1 konnte nicht vollständig gelesen werden: Das Lesen endete in Zeile %2.<byte value="xd"/>
%3</translation>
    </message>
    <message>
        <source>Export to Excel</source>
        <translation>Export nach Excel</translation>
    </message>
    <message>
        <source>Import from Excel</source>
        <translation>Import aus Excel</translation>
    </message>
    <message>
        <source>The workbook could not be written to %1: %2</source>
        <translation>Die Arbeitsmappe konnte nicht nach %1 geschrieben werden: %2</translation>
    </message>
    <message>
        <source>You need to have Microsoft Excel installed to use this function</source>
        <translation>Für diese Funktion muss Microsoft Excel installiert sein</translation>
    </message>
    <message>
        <source>Workbook written to %1</source>
        <translation>Arbeitsmappe nach %1 geschrieben</translation>
    </message>
    <message>
        <source>The table holds values. Replace them with the %1 fitted points?</source>
        <translation>Die Tabelle enthält Werte. Durch die %1 angepassten Punkte ersetzen?</translation>
    </message>
    <message>
        <source>Spreadsheets (*.xlsx *.xls *.ods)|*.xlsx;*.xls;*.ods|Excel Workbook (*.xlsx)|*.xlsx|Excel 97-2003 Workbook (*.xls)|*.xls|OpenDocument Spreadsheet (*.ods)|*.ods|</source>
        <translation>Tabellen (*.xlsx *.xls *.ods)|*.xlsx;*.xls;*.ods|Excel-Arbeitsmappe (*.xlsx)|*.xlsx|Excel-97-2003-Arbeitsmappe (*.xls)|*.xls|OpenDocument-Tabelle (*.ods)|*.ods|</translation>
    </message>
    <message>
        <source>The workbook %1 cannot be read: %2</source>
        <translation>Die Arbeitsmappe %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source><byte value="xd"/>
Cell %1%2 of %3 holds &quot;%4&quot;.</source>
        <translation><byte value="xd"/>
Zelle %1%2 von %3 enthält „%4“.</translation>
    </message>
    <message>
        <source>%1 pasted rows beyond the last point ignored</source>
        <translation>%1 eingefügte Zeilen nach dem letzten Punkt ignoriert</translation>
    </message>
    <message>
        <source>Re-enter value for previous cell</source>
        <translation>Wert der vorigen Zelle neu eingeben</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Undo %1</source>
        <translation>Rückgängig: %1</translation>
    </message>
    <message>
        <source>Redo %1</source>
        <translation>Wiederholen: %1</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Einfügen</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Entfernen</translation>
    </message>
    <message>
        <source>Input Type</source>
        <translation>Eingangsart</translation>
    </message>
    <message>
        <source>History...</source>
        <translation>Verlauf...</translation>
    </message>
    <message>
        <source>The run history %1 cannot be written: %2<byte value="xd"/>
Nothing was sent to the meter.</source>
        <translation>Der Verlauf %1 kann nicht geschrieben werden: %2<byte value="xd"/>
Es wurde nichts an das Messgerät gesendet.</translation>
    </message>
    <message>
        <source>The run could not be stored in the run history %1: %2<byte value="xd"/>
%3</source>
        <translation>Der Lauf konnte nicht im Verlauf %1 gespeichert werden: %2<byte value="xd"/>
%3</translation>
    </message>
    <message>
        <source>It could not be kept either.</source>
        <translation>Er konnte auch nicht zwischengespeichert werden.</translation>
    </message>
    <message>
        <source>It is kept in %1 until the history can be written.</source>
        <translation>Er liegt in %1, bis der Verlauf geschrieben werden kann.</translation>
    </message>
    <message>
        <source>The run history %1 cannot be read: %2</source>
        <translation>Der Verlauf %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>Program these meters...</source>
        <translation>Diese Messgeräte programmieren...</translation>
    </message>
</context>
<context>
    <name>JobDialog</name>
    <message>
        <source>Program these meters</source>
        <translation>Diese Messgeräte programmieren</translation>
    </message>
    <message>
        <source>Each meter gets the table of its workbook; the window&apos;s input type, decimal point and number of points apply to all.</source>
        <translation>Jedes Messgerät erhält die Tabelle seiner Arbeitsmappe; Eingangsart, Dezimalpunkt und Punktzahl des Fensters gelten für alle.</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>Baud rate</source>
        <translation>Baudrate</translation>
    </message>
    <message>
        <source>Workbook</source>
        <translation>Arbeitsmappe</translation>
    </message>
    <message>
        <source>Tag</source>
        <translation>Kennung</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Choose...</source>
        <translation>Wählen...</translation>
    </message>
    <message>
        <source>Program</source>
        <translation>Programmieren</translation>
    </message>
    <message>
        <source>Spreadsheets (*.xlsx *.xls *.ods)|*.xlsx;*.xls;*.ods|</source>
        <translation>Tabellen (*.xlsx *.xls *.ods)|*.xlsx;*.xls;*.ods|</translation>
    </message>
    <message>
        <source>No workbook is chosen.</source>
        <translation>Keine Arbeitsmappe gewählt.</translation>
    </message>
    <message>
        <source>Meter %1: %2
Nothing was sent to any meter.</source>
        <translation>Messgerät %1: %2
An kein Messgerät wurde etwas gesendet.</translation>
    </message>
    <message>
        <source>waiting</source>
        <translation>wartet</translation>
    </message>
    <message>
        <source>programmed</source>
        <translation>programmiert</translation>
    </message>
    <message>
        <source>failed: %1</source>
        <translation>fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>not started</source>
        <translation>nicht begonnen</translation>
    </message>
</context>
</TS>
