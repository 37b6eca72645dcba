<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>MainWindow</name>
    <message>
        <source>Fixed Toolbar</source>
        <translation>Fixed Toolbar</translation>
    </message>
    <message>
        <source>Hidden Toolbar</source>
        <translation>Hide Toolbar</translation>
    </message>
    <message>
        <source>Find Upgrade</source>
        <translation>Update available</translation>
    </message>
    <message>
        <source>Download Upgrade</source>
        <translation>Downloading update</translation>
    </message>
    <message>
        <source>installLbl</source>
        <translation>A new version of the client is available. Install it now?</translation>
    </message>
    <message>
        <source>upgradeLbl</source>
        <translation>New components of the client are available. Update now?</translation>
    </message>
    <message>
        <source>downloading</source>
        <translation>Downloading the update, please wait...</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Save File</source>
        <translation>Save File</translation>
    </message>
    <message>
        <source>downloadSave</source>
        <translation>Save the file "%1"?</translation>
    </message>
    <message>
        <source>downloadSaveDetail</source>
        <translation>The file will be saved to your download folder.</translation>
    </message>
    <message>
        <source>CertificateNotTrusted</source>
        <translation>The device's certificate is not trusted</translation>
    </message>
    <message>
        <source>CertificateNotTrustedDetail</source>
        <translation>The certificate of %1 could not be verified. Continue only if you trust this device.</translation>
    </message>
    <message>
        <source>CertificateError</source>
        <translation>The device's certificate is invalid; the page cannot be opened.</translation>
    </message>
    <message>
        <source>Proceed anyway</source>
        <translation>Proceed anyway</translation>
    </message>
    <message>
        <source>Back to safety</source>
        <translation>Back to safety</translation>
    </message>
    <message>
        <source>NonAero</source>
        <translation>Compatibility mode</translation>
    </message>
    <message>
        <source>NonAeroInformative</source>
        <translation>Desktop composition is off; the client runs in compatibility mode.</translation>
    </message>
    <message>
        <source>Open Directory</source>
        <translation>Open Folder</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>Open File</translation>
    </message>
    <message>
        <source>Save As</source>
        <translation>Save As</translation>
    </message>
</context>
<context>
    <name>TopToolbar</name>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Minisize</source>
        <translation>Minimize</translation>
    </message>
    <message>
        <source>Maximize</source>
        <translation>Maximize</translation>
    </message>
    <message>
        <source>Restore</source>
        <translation>Restore</translation>
    </message>
    <message>
        <source>Fullscreen</source>
        <translation>Full screen</translation>
    </message>
    <message>
        <source>ExitFullscreen</source>
        <translation>Exit full screen</translation>
    </message>
    <message>
        <source>PleaseEnterURL</source>
        <translation>Enter the device address</translation>
    </message>
    <message>
        <source>Menu</source>
        <translation>Menu</translation>
    </message>
    <message>
        <source>Go</source>
        <translation>Go</translation>
    </message>
    <message>
        <source>Refresh</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>history</source>
        <translation>History</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>TTS Settings</source>
        <translation>Speech settings</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>about</source>
        <translation>About</translation>
    </message>
</context>
<context>
    <name>TTSSetting</name>
    <message>
        <source>TTS Settings</source>
        <translation>Speech settings</translation>
    </message>
    <message>
        <source>Enable TTS</source>
        <translation>Enable speech</translation>
    </message>
    <message>
        <source>Engine:</source>
        <translation>Engine:</translation>
    </message>
    <message>
        <source>Language:</source>
        <translation>Language:</translation>
    </message>
    <message>
        <source>Voice:</source>
        <translation>Voice:</translation>
    </message>
    <message>
        <source>Rate:</source>
        <translation>Rate:</translation>
    </message>
    <message>
        <source>Pitch:</source>
        <translation>Pitch:</translation>
    </message>
    <message>
        <source>Volume:</source>
        <translation>Volume:</translation>
    </message>
    <message>
        <source>This is a test text ...</source>
        <translation>This is a test text ...</translation>
    </message>
    <message>
        <source>Test</source>
        <translation>Test</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>Default</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>GPUEnable</source>
        <translation>Use GPU decoding</translation>
    </message>
    <message>
        <source>CompatibilityMode</source>
        <translation>Compatibility mode</translation>
    </message>
    <message>
        <source>SettingsChanged</source>
        <translation>The change takes effect after a restart.</translation>
    </message>
</context>
<context>
    <name>aboutInfo</name>
    <message>
        <source>About</source>
        <translation>About</translation>
    </message>
    <message>
        <source>RI-ZIV</source>
        <translation>Brevix</translation>
    </message>
    <message>
        <source>about info</source>
        <translation>Client for network video-surveillance devices.</translation>
    </message>
    <message>
        <source>version</source>
        <translation>Version</translation>
    </message>
</context>
<context>
    <name>DownloadDialog</name>
    <message>
        <source>Downloads</source>
        <translation>Downloads</translation>
    </message>
    <message>
        <source>Clean up</source>
        <translation>Clean up</translation>
    </message>
    <message>
        <source>0 Items</source>
        <translation>0 Items</translation>
    </message>
</context>
<context>
    <name>DownloadItem</name>
    <message>
        <source>Form</source>
        <translation>Form</translation>
    </message>
    <message>
        <source>Ico</source>
        <translation>Ico</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stop</translation>
    </message>
</context>
<context>
    <name>DownloadManager</name>
    <message>
        <source>1 Download</source>
        <translation>1 Download</translation>
    </message>
    <message>
        <source>%1 Downloads</source>
        <translation>%1 Downloads</translation>
    </message>
</context>
<context>
    <name>DownloadWidget</name>
    <message>
        <source>bytes</source>
        <translation>bytes</translation>
    </message>
    <message>
        <source>kB</source>
        <translation>kB</translation>
    </message>
    <message>
        <source>MB</source>
        <translation>MB</translation>
    </message>
    <message>
        <source>?</source>
        <translation>?</translation>
    </message>
    <message>
        <source>seconds</source>
        <translation>seconds</translation>
    </message>
    <message>
        <source>minutes</source>
        <translation>minutes</translation>
    </message>
    <message>
        <source>- %4 %5 remaining</source>
        <translation>- %4 %5 remaining</translation>
    </message>
    <message>
        <source>%1 of %2 (%3/sec) %4</source>
        <translation>%1 of %2 (%3/sec) %4</translation>
    </message>
    <message>
        <source>%1 of %2 - Stopped</source>
        <translation>%1 of %2 - Stopped</translation>
    </message>
    <message>
        <source>Show in folder</source>
        <translation>Show in folder</translation>
    </message>
    <message>
        <source>Download cancelled</source>
        <translation>Download cancelled</translation>
    </message>
    <message>
        <source>Download interrupted</source>
        <translation>Download interrupted</translation>
    </message>
</context>
<context>
    <name>historyinfo</name>
    <message>
        <source>History</source>
        <translation>History</translation>
    </message>
    <message>
        <source>Clear</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Cindel</source>
        <translation>Clear cache</translation>
    </message>
    <message>
        <source>CindelLbl</source>
        <translation>The web cache and local storage are emptied. Go on?</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>today</source>
        <translation>Today</translation>
    </message>
    <message>
        <source>yesterday</source>
        <translation>Yesterday</translation>
    </message>
</context>
</TS>
