// Drives the demo device's page road by road the way a user would: it sets the
// page's inputs, clicks its buttons and waits for what the page then shows.
// window.E2E names the road and the folders; the outcome of every step, the
// events in the order they came and the page's messages are posted to /results.
(function () {
  'use strict';
  window.addEventListener('error', function (e) { console.log('page error ' + e.message + ' ' + e.filename + ':' + e.lineno); });
  var steps = [];
  var events = [];
  var pictures = {};  // digests of window pictures, by name, for the test to compare
  var probeId = 1000000;
  var probes = {};

  function $(id) { return document.getElementById(id); }
  function text(id) { return $(id).textContent; }
  function click(id) { $(id).click(); }
  function set(id, v) {
    var e = $(id);
    if (e.type === 'checkbox') e.checked = v; else e.value = v;
    e.dispatchEvent(new Event('input'));
    e.dispatchEvent(new Event('change'));
  }
  function sleep(ms) { return new Promise(function (r) { setTimeout(r, ms); }); }

  // Waits until check() gives a true value, or a promise of one; generous, the
  // machine may be loaded. what may be a function, for the state at the end.
  function until(what, check, limitMs) {
    var end = Date.now() + (limitMs || 45000);
    return new Promise(function (resolve, reject) {
      (function poll() {
        Promise.resolve().then(check).catch(function () { return false; }).then(function (v) {
          if (v) { resolve(v); return; }
          if (Date.now() > end) {
            reject(new Error('timed out waiting for ' + (typeof what === 'function' ? what() : what)));
            return;
          }
          setTimeout(poll, 100);
        });
      })();
    });
  }
  function ok(what, good, detail) {
    steps.push({ what: what, ok: !!good, detail: detail === undefined ? '' : String(detail) });
  }
  // Waits for the element's text to contain the words and records the step.
  function shows(id, words, limitMs) {
    return until('"' + words + '" in #' + id + ' (it shows "' + text(id) + '")', function () {
      return text(id).indexOf(words) >= 0;
    }, limitMs).then(function () { ok('#' + id + ' shows "' + words + '"', true, text(id)); });
  }
  function clickShows(button, id, words, limitMs) {
    $(id).textContent = '';
    click(button);
    return shows(id, words, limitMs);
  }
  function probe(method, params) {
    return new Promise(function (resolve, reject) {
      var id = probeId++;
      probes[id] = resolve;
      setTimeout(function () {
        if (probes[id]) { delete probes[id]; reject(new Error('no answer to ' + method)); }
      }, 45000);
      window.nativeBridge.request(JSON.stringify({ method: method, params: params || {}, id: id, async: false }));
    });
  }
  function eventCount(name) { return events.filter(function (e) { return e.event === name; }).length; }
  function lastEvent(name) {
    for (var i = events.length - 1; i >= 0; --i) if (events[i].event === name) return events[i].params;
    return null;
  }
  // The window shows a moving picture: mostly not black, and a different one a moment later.
  function windowMoves(winID) {
    var first = null, later = null;
    function look() { return probe('probeWindow', { winID: winID }); }
    return until(function () { return 'a picture in window ' + winID + ': ' + JSON.stringify(first); }, function () {
      return look().then(function (p) { first = p; return p && p.coloured > 20; });
    }).then(function () {
      return until(function () { return 'window ' + winID + ' to move: ' + JSON.stringify(later); }, function () {
        return look().then(function (p) { later = p; return p && p.coloured > 20 && p.digest !== first.digest; });
      });
    }).then(function () { ok('window ' + winID + ' shows a moving picture', true, JSON.stringify(later)); });
  }
  function windowDark(winID) {
    return probe('probeWindow', { winID: winID }).then(function (p) {
      ok('window ' + winID + ' is dark', p && p.coloured === 0, JSON.stringify(p));
    });
  }
  // The part in view first; the video windows follow the page as it scrolls.
  function screenshot(name, part) {
    if (part) $(part).scrollIntoView();
    return sleep(500).then(function () { return probe('probeScreenshot', { name: name }); })
      .then(function (saved) { ok('screenshot ' + name, saved === true); });
  }
  function login(user, password, port) {
    set('user', user || 'admin');
    set('password', password || 'admin123');
    set('port', String(port || 37777));
    return clickShows('login', 'loginMsg', 'Logged in').then(function () { return shows('state', 'logged in as'); });
  }
  function layout(n) { return clickShows('layout' + n, 'liveMsg', n + ' windows'); }
  // The page names camera n as the device does: "Camera n+1".
  function camera(channel) { return 'Camera ' + (channel + 1); }
  function live(winID, channel, stream) {
    click('win' + winID);
    set('channel', String(channel));
    set('stream', stream || 'Main');
    return clickShows('live', 'liveMsg', 'Window ' + winID + ': live ' + camera(channel));
  }
  function search(channel, day) {
    set('day', day || '2024-05-01');
    set('pbChannel', String(channel));
    $('pbMsg').textContent = '';
    click('search');
    return until('the search answer', function () { return text('pbMsg') && text('pbMsg') !== 'Searching…'; });
  }
  function play(winID, row) {
    click('win' + winID);
    $('rec' + row).click();
    return clickShows('play', 'pbMsg', 'Window ' + winID + ': playing');
  }
  function logout() { return clickShows('logout', 'loginMsg', 'Logged out'); }

  var roads = {};

  roads.login = function () {
    var cases = [
      ['guest', 'wrong', 37777, 'Wrong password: 2 tries left before the account locks'],
      ['locked', 'locked', 37777, 'The account is locked: try again in 30 min 0 s'],
      ['busy', 'busy', 37777, 'The device is busy: try again later'],
      ['admin', 'admin123', 37778, 'No device answers at this address and port'],
      ['nobody', 'x', 37777, 'No such user on this device']
    ];
    var chain = Promise.resolve();
    cases.forEach(function (c) {
      chain = chain.then(function () {
        set('user', c[0]);
        set('password', c[1]);
        set('port', String(c[2]));
        return clickShows('login', 'loginMsg', c[3]);
      }).then(function () { ok('still logged out after "' + c[3] + '"', text('state') === 'not logged in', text('state')); });
    });
    return chain.then(function () { return login(); })
      .then(function () { return shows('deviceInfo', 'secondaryAnalyse'); })
      .then(logout)
      .then(function () { ok('logged out', text('state') === 'not logged in', text('state')); })
      .then(function () { set('loginEx', true); set('capParam', '0'); return login(); })
      .then(function () { return clickShows('setSession', 'loginMsg', 'Web session 1 in use'); })
      .then(logout);
  };

  roads.live = function () {
    return login().then(function () { return layout(4); })
      .then(function () {
        click('win1');
        return shows('selected', 'window 1 selected');
      })
      .then(function () { ok('window 1 framed in the map', $('win1').className === 'selected' && $('win0').className === ''); })
      .then(function () { return live(1, 0, 'Main'); })
      .then(function () { return live(2, 1, 'Main'); })
      .then(function () { set('slave', '1'); return live(3, 0, 'Extra1'); })
      .then(function () { set('slave', '-1'); return windowMoves(3); })
      .then(function () { set('channel', '0'); return clickShows('subStreams', 'liveMsg', 'Camera 1 offers Extra1'); })
      .then(function () { return shows('details', 'window 1: 704x576'); })
      .then(function () { return shows('details', 'window 2: 1280x720'); })
      .then(function () {
        // The SVAC main streams carry their own bit rate.
        var rate = /window (\d+): (\d+x\d+) SVAC (\d+) fps (\d+) kbit\/s/g, seen = {};
        return until(function () { return 'SVAC rates of windows 1 and 2 in #details (it shows "' + text('details') + '")'; }, function () {
          var m;
          seen = {};
          rate.lastIndex = 0;
          while ((m = rate.exec(text('details')))) if (Number(m[4]) > 0) seen[m[1]] = m[2] + ' ' + m[3] + ' fps';
          return seen[1] === '704x576 25 fps' && seen[2] === '1280x720 25 fps';
        }).then(function () { ok('windows 1 and 2 show SVAC at a bit rate', true, text('details')); });
      })
      .then(function () { click('win1'); return clickShows('resolution', 'liveMsg', 'Window 1 shows 704x576'); })
      .then(function () { return windowMoves(1); })
      .then(function () { return windowMoves(2); })
      .then(function () { return windowDark(0); })
      .then(function () { click('win3'); return clickShows('stop', 'liveMsg', 'Window 3 stopped'); })
      .then(function () { return screenshot('demo-page-live-2x2.png'); })
      .then(function () { click('win2'); return clickShows('stop', 'liveMsg', 'Window 2 stopped'); })
      .then(function () { return clickShows('resolution', 'liveMsg', 'Window 2 shows no picture'); })
      .then(function () { return layout(16); })
      .then(function () { return live(15, 0, 'Extra1'); })
      .then(function () { return shows('details', 'window 15: 352x288'); })
      .then(function () { return windowMoves(15); })
      .then(function () { return layout(1); })
      .then(function () { return live(0, 3, 'Main'); })
      .then(function () { return shows('details', 'window 0: 176x144'); })
      .then(function () { return shows('channelNote', 'Camera 4: uncompressed test pattern'); })
      .then(function () { return windowMoves(0); })
      .then(function () { return screenshot('demo-page-camera4.png'); })
      .then(function () { ok('DetailInfoEvent reports come once a second', eventCount('DetailInfoEvent') >= 2, eventCount('DetailInfoEvent')); })
      .then(function () { return clickShows('stop', 'liveMsg', 'Window 0 stopped'); })
      .then(function () { return live(0, 4, 'Main'); })
      .then(function () { return shows('channelNote', 'Camera 5: SVAC 704x576, encrypted'); })
      .then(function () {
        // Its stream arrives (the details report it) but, without the key, nothing is shown.
        var before = eventCount('DetailInfoEvent');
        return until('two reports on the encrypted camera', function () { return eventCount('DetailInfoEvent') >= before + 2; });
      })
      .then(function () { return windowDark(0); })
      .then(logout);
  };

  // Every camera of the device, numbered and named as the device names them, in each list.
  roads.cameras = function () {
    return fetch('channels.json').then(function (r) { return r.json(); }).then(function (device) {
      ok('the device has five cameras', device.length === 5, JSON.stringify(device));
      ['channel', 'pbChannel'].forEach(function (id) {
        var offered = Array.prototype.map.call($(id).options, function (o) { return o.value + '=' + o.text; });
        var wanted = device.map(function (c) { return c.channel + '=' + c.name; });
        ok('#' + id + ' offers every camera', offered.join() === wanted.join(), offered.join());
      });
      ok('camera 5 is the fifth', device[4].name === camera(4), device[4].name);
    });
  };

  roads.playback = function () {
    var shown;
    return login().then(function () { return layout(4); })
      .then(function () { return search(0, '2024-04-30'); })
      .then(function () { return shows('pbMsg', 'No recordings of Camera 1 on 2024-04-30'); })
      .then(function () { return search(0); })
      .then(function () { return shows('pbMsg', '3 recordings of Camera 1 on 2024-05-01'); })
      .then(function () { ok('three rows listed', $('recordings').rows.length === 3, $('recordings').rows.length); })
      .then(function () { return play(0, 0); })
      .then(function () { return shows('playTime', '2024-05-01 08:00:0'); })
      .then(function () { return windowMoves(0); })
      .then(function () { return clickShows('pause', 'pbMsg', 'Window 0: paused'); })
      .then(function () {
        // A frame already on its way may still land; then the picture holds.
        var later = null;
        return until(function () { return 'the picture to hold: ' + JSON.stringify([shown, later]); }, function () {
          return probe('probeWindow', { winID: 0 }).then(function (p) { shown = p; return sleep(600); })
            .then(function () { return probe('probeWindow', { winID: 0 }); })
            .then(function (p) { later = p; return p.digest === shown.digest && p.coloured > 20; });
        });
      })
      .then(function () { ok('the picture holds while paused', true, JSON.stringify(shown)); })
      .then(function () {
        // Seeking while paused shows the picture of the new place before play resumes.
        var held;
        return probe('probeWindow', { winID: 0 }).then(function (p) {
          held = p;
          set('timeline', String(Number($('timeline').min) + 40));
          return shows('pbMsg', 'Window 0: moved to 2024-05-01 08:00:40');
        }).then(function () {
          var now = null;
          return until(function () { return 'the picture of 08:00:40 while paused: ' + JSON.stringify([held, now]); }, function () {
            return probe('probeWindow', { winID: 0 }).then(function (p) { now = p; return p.frame && p.frame !== held.frame; });
          }).then(function () {
            pictures['paused-seek'] = now.frame;
            ok('the window shows a new picture while paused', true, JSON.stringify(now));
          });
        });
      })
      .then(function () { return screenshot('demo-page-paused-seek.png', 'videoPart'); })
      .then(function () { return clickShows('stepForward', 'pbMsg', 'Window 0: one frame forward'); })
      .then(function () { return clickShows('stepBack', 'pbMsg', 'Window 0: one frame back'); })
      .then(function () { return clickShows('resume', 'pbMsg', 'Window 0: playing'); })
      .then(function () { return clickShows('faster', 'pbMsg', 'speed 2x'); })
      .then(function () { return shows('speedText', '2x'); })
      .then(function () { click('slower'); return shows('speedText', '1x'); })
      .then(function () { click('slower'); return shows('speedText', '0.5x'); })
      .then(function () { click('faster'); return shows('speedText', '1x'); })
      .then(function () {
        var target = Number($('timeline').min) + 20;
        set('timeline', String(target));
        return shows('pbMsg', 'Window 0: moved to 2024-05-01 08:00:20');
      })
      .then(function () { return shows('playTime', '2024-05-01 08:00:2'); })
      .then(function () { return screenshot('demo-page-playback.png', 'playbackPart'); })
      .then(function () { window.scrollTo(0, 0); })
      .then(function () { return play(1, 1); })
      .then(function () { return windowMoves(1); })
      .then(function () { click('win0'); return clickShows('groupOn', 'pbMsg', 'Window 0: leads the windows that play together'); })
      .then(function () { return clickShows('pause', 'pbMsg', 'Window 0: paused'); })
      .then(function () { return clickShows('resume', 'pbMsg', 'Window 0: playing'); })
      .then(function () { return windowMoves(1); })
      .then(function () { return clickShows('groupOff', 'pbMsg', 'Window 0: windows play separately'); })
      .then(function () {
        var info = lastEvent('PlayProcessInfo');
        ok('PlayProcessInfo names the windows', info && info.length >= 1 && info[0].width === 704, JSON.stringify(info));
      })
      .then(logout);
  };

  roads.record = function () {
    var folder = E2E.folders.app + '/video', file;
    return login().then(function () { return layout(1); })
      .then(function () { return live(0, 0, 'Main'); })
      .then(function () { return windowMoves(0); })
      .then(function () { set('recName', 'road'); return clickShows('record', 'recMsg', 'Window 0 records to ' + folder + '/road-0_'); })
      .then(function () { return shows('details', 'recording'); })
      .then(function () { return sleep(2500); })
      .then(function () { return clickShows('unrecord', 'recMsg', 'Window 0: recording stopped, the file is in ' + folder); })
      .then(function () { return clickShows('snapshot', 'recMsg', 'Snapshot of window 0 saved to ' + E2E.folders.app + '/pictures/road-0_'); })
      .then(function () { return clickShows('snapshotEx', 'recMsg', 'Snapshot of window 0: 704x576'); })
      .then(function () { return probe('probeListFiles', { folder: folder }); })
      .then(function (names) {
        ok('one recording made', names.length === 1, JSON.stringify(names));
        file = folder + '/' + names[0];
        return clickShows('stop', 'liveMsg', 'Window 0 stopped');
      })
      .then(function () { return probe('probeAnswerDialog', { path: file }); })
      .then(function () { return clickShows('openFile', 'localMsg', 'Window 0: playing ' + file); })
      .then(function () { ok('the chosen file is in the box', $('localPath').value === file, $('localPath').value); })
      .then(function () { return shows('localState', 'open'); })
      .then(function () { return windowMoves(0); })
      .then(function () { return until('local progress', function () { return $('localProgress').value > 0; }); })
      .then(function () { return shows('localState', 'window 0: playing 20'); })
      .then(function () {
        var names = events.map(function (e) { return e.event; }).filter(function (n) { return n === 'ReturnLocalState'; });
        ok('ReturnLocalState reports the opening, then progress', events.filter(function (e) {
          return e.event === 'ReturnLocalState';
        })[0].params.open === 1, names.length);
      })
      .then(function () { return clickShows('pause', 'pbMsg', 'Window 0: paused'); })
      .then(function () { return clickShows('resume', 'pbMsg', 'Window 0: playing'); })
      .then(function () { return clickShows('stop', 'liveMsg', 'Window 0 stopped'); })
      .then(function () { return shows('localState', 'closed'); })
      .then(logout);
  };

  roads.audio = function () {
    return login().then(function () { return layout(1); })
      .then(function () { return live(0, 0, 'Main'); })
      .then(function () { return clickShows('soundOn', 'audioMsg', 'sound of window 0 on'); })
      .then(function () { set('volume', '70'); return shows('volumeText', 'window 0: 70'); })
      .then(function () { return clickShows('soundOff', 'audioMsg', 'sound of window 0 off'); })
      .then(function () { set('talkFormat', '1'); return clickShows('talkStart', 'audioMsg', 'talking to the device'); })
      .then(function () { return clickShows('talkStop', 'audioMsg', 'talk stopped'); })
      .then(logout)
      .then(function () { return clickShows('talkStart', 'audioMsg', 'Cannot: talking to the device'); });
  };

  function jobFinished(token) {
    return until(function () { return 'job ' + token + ' to finish: ' + ($('job' + token) ? $('job' + token).outerHTML : 'no row'); }, function () {
      var row = $('job' + token);
      return row && row.getAttribute('data-state') === '3';
    }, 90000).then(function () { ok('job ' + token + ' finished', true, $('job' + token).textContent); });
  }
  function newestJob() {
    var rows = $('jobs').rows;
    return rows.length ? parseInt(rows[rows.length - 1].id.slice(3), 10) : -1;
  }

  roads.download = function () {
    var save = E2E.folders.save;
    return login().then(function () { set('saveFolder', save); return search(3); })
      .then(function () { return clickShows('freeSpace', 'freeText', 'GiB free'); })
      .then(function () { return clickShows('downloadFile', 'dlMsg', 'ch3_20240501080000.rkv downloads to ' + save); })
      .then(function () { return jobFinished(newestJob()); })
      .then(function () { return clickShows('downloadTime', 'dlMsg', 'ch3_20240501080000_time.rkv downloads to ' + save); })
      .then(function () { return jobFinished(newestJob()); })
      .then(function () { return search(0); })
      .then(function () { return clickShows('downloadFile', 'dlMsg', 'ch0_20240501080000.rkv downloads to'); })
      .then(function () {
        var token = newestJob();
        return until(function () { return 'job ' + token + ' to run: ' + ($('job' + token) ? $('job' + token).outerHTML : 'no row'); }, function () { return $('job' + token).getAttribute('data-state') === '2'; })
          .then(function () { $('job' + token).querySelector('.dpause').click(); return shows('dlMsg', 'pause done'); })
          .then(function () { return until('the paused state', function () { return $('job' + token).getAttribute('data-state') === '4'; }); })
          .then(function () { ok('job shows paused', text('job' + token).indexOf('paused') >= 0, text('job' + token)); })
          .then(function () { return screenshot('demo-page-downloads.png', 'downloadPart'); })
          .then(function () { $('job' + token).querySelector('.getState').click(); return shows('dlMsg', 'file 0 paused'); })
          .then(function () { $('job' + token).querySelector('.dresume').click(); return shows('dlMsg', 'resume done'); })
          .then(function () { $('job' + token).querySelector('.stop').click(); return shows('dlMsg', 'stop done'); });
      })
      .then(function () { return clickShows('listFiles', 'dlMsg', '5 files on the device'); })
      .then(function () {
        var rows = $('remoteFiles').rows, i;
        for (i = 0; i < rows.length; ++i) if (rows[i].cells[0].textContent === '/mnt/data/big.bin') rows[i].click();
        return clickShows('downloadRemote', 'remoteMsg', 'big.bin: 1 of 1 files downloaded');
      })
      .then(function () {
        var names = events.map(function (e) { return e.event; });
        var first = names.indexOf('notifyDownloadProcess'), remote = names.indexOf('RemoteFileDownloadResult');
        ok('progress came before the remote result', first >= 0 && remote > first, names.join(','));
      })
      .then(logout);
  };

  roads.intelligent = function () {
    var save = E2E.folders.save;
    return login().then(function () { set('saveFolder', save); return layout(1); })
      .then(function () { return live(0, 0, 'Main'); })
      .then(function () { return clickShows('overlayOn', 'aiMsg', 'Window 0: overlays on'); })
      .then(function () { return windowMoves(0); })
      .then(function () { return clickShows('overlayTexts', 'aiMsg', 'Overlay texts in English'); })
      .then(function () { return clickShows('objectAt', 'aiMsg', 'Window 0'); })
      .then(function () { $('aiMsg').textContent = ''; set('slaveMode', true); return shows('aiMsg', 'Window 0'); })
      .then(function () {
        // The rules come as an event of their own, whenever the device has answered.
        return until(function () { return 'the device rules: ' + JSON.stringify(lastEvent('notifyAnalyseRule')); }, function () {
          var rules = lastEvent('notifyAnalyseRule');
          return rules && rules.WinID === 0 && rules.events;
        }).then(function () { ok('the device rules reached the overlay', true, JSON.stringify(lastEvent('notifyAnalyseRule'))); });
      })
      .then(function () { return clickShows('overlayOff', 'aiMsg', 'Window 0: overlays off'); })
      .then(function () { set('day', '2024-05-01'); set('pbChannel', '0'); return clickShows('aiExport', 'aiMsg', 'Searching 2024-05-01'); })
      .then(function () { return until(function () { return 'the export to finish: ' + JSON.stringify(lastEvent('notifyDownloadAllProcess')); }, function () { return $('aiProgress').value >= 100; }, 90000); })
      .then(function () { ok('export progress reached 100', true, eventCount('notifyDownloadAllProcess')); })
      .then(function () { return shows('aiMsg', 'Export of 2024-05-01 finished: 5 rows in ' + save + '/aisearch_20240501000000_20240501235959/ivs.xls'); })
      .then(function () { return screenshot('demo-page-export.png', 'aiPart'); })
      .then(logout);
  };

  roads.settings = function () {
    var file = E2E.folders.device + '/records/ch3-Main-5.qvp';
    return login().then(function () { set('wmPath', file); return clickShows('wmCheck', 'cfgMsg', 'Checking the watermark of ' + file); })
      .then(function () { return shows('wmText', '100% finished'); })
      .then(function () { set('wmPath', E2E.folders.device + '/none.qvp'); return clickShows('wmCheck', 'cfgMsg', 'Checking'); })
      .then(function () { return shows('wmText', 'the file cannot be read'); })
      .then(function () { set('cfgKey', 'ManulSnapNum'); return clickShows('cfgGet', 'cfgMsg', 'ManulSnapNum = 1'); })
      .then(function () { set('cfgValue', '3'); return clickShows('cfgSet', 'cfgMsg', 'ManulSnapNum saved'); })
      .then(function () { return clickShows('cfgGet', 'cfgMsg', 'ManulSnapNum = 3'); })
      .then(function () { return clickShows('cfgReset', 'cfgMsg', 'Settings back to their defaults'); })
      .then(function () { return clickShows('cfgGet', 'cfgMsg', 'ManulSnapNum = 1'); })
      .then(function () { return clickShows('logRead', 'cfgMsg', 'Playback warn'); })
      .then(function () { set('logModule', 'Playback'); set('logLevel', '1'); return clickShows('logSet', 'cfgMsg', 'Playback logs at trace'); })
      .then(function () { return clickShows('logRead', 'cfgMsg', 'Playback trace'); })
      .then(logout);
  };

  roads.client = function () {
    var dir = E2E.folders.save, note = E2E.folders.save + '/note.txt';
    return probe('probeAnswerDialog', { path: dir })
      .then(function () { return clickShows('chooseDir', 'clientMsg', 'Folder: ' + dir); })
      .then(function () { return probe('probeAnswerDialog', { path: note }); })
      .then(function () { return clickShows('saveFile', 'clientMsg', 'Saved ' + note); })
      .then(function () { return probe('probeAnswerDialog', { path: note }); })
      .then(function () { return clickShows('chooseFile', 'clientMsg', 'File: ' + note); })
      .then(function () { set('url', 'http://127.0.0.1/help'); return clickShows('openUrl', 'clientMsg', 'Opened http://127.0.0.1/help'); })
      .then(function () { return probe('probeOpenedUrls'); })
      .then(function (urls) { ok('the browser was asked to open the address', urls.indexOf('http://127.0.0.1/help') >= 0, JSON.stringify(urls)); })
      .then(function () { set('url', 'file:///etc/passwd'); return clickShows('openUrl', 'clientMsg', 'file:///etc/passwd cannot be opened'); })
      .then(function () { set('bgColor', '#102030'); return clickShows('setBg', 'clientMsg', 'Background #102030'); })
      .then(function () { return clickShows('args', 'clientMsg', '"ip":"127.0.0.1:'); })
      .then(function () { $('clientMsg').textContent = ''; click('say'); return until('a speech answer', function () { return text('clientMsg'); }); })
      .then(function () { ok('say answered', true, text('clientMsg')); $('clientMsg').textContent = ''; click('stopSay'); return until('a stop answer', function () { return text('clientMsg'); }); })
      .then(function () { ok('stopSay answered', true, text('clientMsg')); });
  };

  function post() {
    var request = new XMLHttpRequest();
    request.open('POST', '/results');
    request.setRequestHeader('Content-Type', 'application/json');
    var messages = {};
    Array.prototype.forEach.call(document.querySelectorAll('.msg'), function (m) { messages[m.id] = m.textContent; });
    request.send(JSON.stringify({ road: E2E.road, steps: steps, pictures: pictures, events: events.map(function (e) { return e.event; }),
                                  messages: messages, log: text('log').slice(-4000) }));
  }

  // The page attaches to the bridge first; its handler keeps running, and the
  // answers to the probes stay here.
  until('the page to attach to the bridge', function () {
    return window.nativeBridge && window.nativeBridge.onmessage && text('log').indexOf('bridge ready') >= 0 &&
           $('channel').options.length > 0;
  }, 30000).then(function () {
    var page = window.nativeBridge.onmessage;
    window.nativeBridge.onmessage = function (t) {
      var msg = null;
      try { msg = JSON.parse(t); } catch (e) {}
      if (msg && msg.id !== undefined && probes[msg.id]) {
        var done = probes[msg.id];
        delete probes[msg.id];
        done(msg.result);
        return;
      }
      if (msg && typeof msg.event === 'string') events.push(msg);
      page(t);
    };
    var road = roads[E2E.road];
    if (!road) throw new Error('no road ' + E2E.road);
    return road();
  }).then(function () { ok('road ' + E2E.road + ' done', true); }, function (e) { ok('road ' + E2E.road, false, e.message); })
    .then(post);
})();
