// The gateway's live page: one section per device, filled from the JSON API
// and kept current through /api/v1/events. Texts from devices and from the
// configuration go in as text (textContent), never as markup.
'use strict';

const MODULE_STATUS = { 0: ['normal', 'normal'], 1: ['fault', 'fault'],
                        254: ['no communication', 'no-communication'] };
const PLOT_COLOURS = ['#1f77b4', '#d62728', '#2ca02c', '#9467bd', '#ff7f0e', '#17becf',
                      '#8c564b', '#e377c2'];
const devices = new Map();  // data id -> { element, detail, history, plots }

function element(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined && text !== null) node.textContent = String(text);
  if (className) node.className = className;
  return node;
}

function row(cells) {
  const tr = document.createElement('tr');
  for (const cell of cells) tr.appendChild(cell instanceof Node ? cell : element('td', cell));
  return tr;
}

function numberCell(value) {
  return element('td', value === null || value === undefined ? '—' : value, 'number');
}

// [label, unit] of a value from the configuration's "fields", else [neutral, ''].
function labelled(view, key, neutral) {
  const label = view.labels && view.labels[key];
  return label ? [label.label || neutral, label.unit || ''] : [neutral, ''];
}

// A module's own label (modules[i].value), else the one of every module (module_value).
function moduleLabel(view, index) {
  const [general, unit] = labelled(view, 'module_value', '');
  const [own, ownUnit] = labelled(view, `modules[${index}].value`, '');
  return [own || (general ? `${general} ${index + 1}` : `module ${index + 1}`), ownUnit || unit];
}

function withUnit(label, unit) {
  return unit ? `${label} (${unit})` : label;
}

// Times as the page shows them: local, 24-hour; tooltips ISO 8601 with the offset.
function pad(number) {
  return String(number).padStart(2, '0');
}

function localTime(date) {
  return `${pad(date.getHours())}:${pad(date.getMinutes())}:${pad(date.getSeconds())}`;
}

function localDateTime(date) {
  return `${date.getFullYear()}-${pad(date.getMonth() + 1)}-${pad(date.getDate())} ` +
         localTime(date);
}

function isoWithOffset(date) {
  const minutes = -date.getTimezoneOffset();
  const sign = minutes >= 0 ? '+' : '-';
  const offset = `${sign}${pad(Math.floor(Math.abs(minutes) / 60))}:${pad(Math.abs(minutes) % 60)}`;
  return localDateTime(date).replace(' ', 'T') + offset;
}

// A cell or span showing a time: local 24-hour text, ISO 8601 as its tooltip.
function timed(node, isoTime, text) {
  node.textContent = text;
  node.title = isoTime ? isoWithOffset(new Date(isoTime)) : '';
  return node;
}

function ageText(detail) {
  if (!detail.last_publication) return 'not published yet';
  if (detail.stale && detail.health_since) {
    return `offline since ${localTime(new Date(detail.health_since))}`;
  }
  const seconds = Math.max(0, Math.round((Date.now() - Date.parse(detail.last_publication)) / 1000));
  return `updated ${seconds} s ago`;
}

function renderAge(device) {
  const { detail } = device;
  timed(device.element.querySelector('.age'),
        detail.stale ? detail.health_since : detail.last_publication, ageText(detail));
}

function sectionFor(dataId) {
  let device = devices.get(dataId);
  if (device) return device;
  const template = document.getElementById('device-template');
  const section = template.content.firstElementChild.cloneNode(true);
  section.id = `device-${dataId}`;
  document.getElementById('devices').appendChild(section);
  device = { element: section, detail: null, history: null, plots: null };
  devices.set(dataId, device);
  return device;
}

function renderHeader(device) {
  const { element: section, detail } = device;
  section.querySelector('.name').textContent = detail.name;
  const health = section.querySelector('.health');
  health.textContent = detail.health;
  health.className = `health ${detail.health}`;
  section.querySelector('.ident').textContent = `data id ${detail.data_id} on ${detail.port}`;
  section.querySelector('.reason').textContent = detail.health_reason;
  // An offline device's values are its last ones, not current: the card is greyed.
  section.classList.toggle('stale', Boolean(detail.stale));
  renderAge(device);
}

function renderHeadings(device) {
  const view = device.detail.view;
  const section = device.element;
  const [moduleValue, moduleUnit] = labelled(view, 'module_value', 'Value');
  section.querySelector('.module-value-heading').textContent = withUnit(moduleValue, moduleUnit);
  section.querySelector('.system-plot-heading').textContent =
    withUnit(...labelled(view, 'system_value', 'System value'));
  section.querySelector('.module-plot-heading').textContent =
    withUnit(...labelled(view, 'module_value', 'Module values'));
}

function renderSystem(device) {
  const view = device.detail.view;
  const body = device.element.querySelector('.system tbody');
  body.replaceChildren();
  if (view.system_value === undefined) return;
  const rows = [['system_value', 'system value', view.system_value],
                ['value_95', 'value 95', view.value_95]];
  view.values_a2.forEach((value, index) =>
    rows.push([`values_a2[${index}]`, `A2 value ${index}`, value]));
  for (const [key, neutral, value] of rows) {
    const [label, unit] = labelled(view, key, neutral);
    body.appendChild(row([element('td', label), numberCell(value), element('td', unit)]));
  }
}

function renderModules(device) {
  const body = device.element.querySelector('.modules tbody');
  body.replaceChildren();
  const view = device.detail.view;
  for (const module of view.modules || []) {
    const [text, className] = MODULE_STATUS[module.status] || [`status ${module.status}`, 'fault'];
    const status = element('td');
    status.appendChild(element('span', text, `status ${className}`));
    const name = element('td', module.module);
    const own = labelled(view, `modules[${module.module - 1}].value`, '');
    if (own[0]) name.title = withUnit(...own);
    body.appendChild(row([name, numberCell(module.value), status]));
  }
}

function renderAlarms(device) {
  const alarms = device.detail.alarms;
  device.element.querySelector('.alarm-count').textContent = `(${alarms.length})`;
  const body = device.element.querySelector('.alarms tbody');
  body.replaceChildren();
  if (alarms.length === 0) {
    const none = row([element('td', 'none')]);
    none.className = 'none';
    body.appendChild(none);
  }
  for (const alarm of alarms) {
    const since = timed(element('td'), alarm.since, localDateTime(new Date(alarm.since)));
    body.appendChild(row([alarm.name, alarm.desc, `${alarm.code} #${alarm.seq}`, since]));
  }
}

// Axis ticks in local 24-hour time, with the date once the plot spans days.
function timeTicks(plot, splits) {
  const span = splits.length > 1 ? splits[splits.length - 1] - splits[0] : 0;
  return splits.map((seconds) => {
    const date = new Date(seconds * 1000);
    const time = span >= 600 ? localTime(date).slice(0, 5) : localTime(date);
    return span >= 86400 ? `${pad(date.getMonth() + 1)}-${pad(date.getDate())} ${time}` : time;
  });
}

// `series`: [label, unit] per line; the unit goes on the value axis when all share one.
function plotOptions(series, width) {
  const units = [...new Set(series.map(([, unit]) => unit))];
  return {
    width, height: 180,
    scales: { x: { time: true } },
    axes: [{ values: timeTicks }, { label: units.length === 1 ? units[0] : '' }],
    series: [{ label: 'time', value: (plot, seconds) =>
                 seconds === null ? '—' : localDateTime(new Date(seconds * 1000)) },
             ...series.map(([label, unit], index) => ({
               label: withUnit(label, unit), stroke: PLOT_COLOURS[index % PLOT_COLOURS.length],
               width: 1.5, spanGaps: false,
             }))],
  };
}

function renderPlots(device) {
  const history = device.history;
  if (!history || !window.uPlot) return;
  const systemData = [history.time, history.system_value];
  const moduleData = [history.time, ...history.modules];
  const width = Math.max(320, device.element.querySelector('.plot').clientWidth || 600);
  const view = device.detail.view;
  const systemSeries = [labelled(view, 'system_value', 'system value')];
  const moduleSeries = history.modules.map((_, i) => moduleLabel(view, i));
  // Labels come with the configuration: a new one (or module count) needs new plots.
  const shape = JSON.stringify([systemSeries, moduleSeries]);
  if (!device.plots || device.plots.shape !== shape) {
    if (device.plots) [device.plots.system, device.plots.modules].forEach((plot) => plot.destroy());
    device.plots = {
      shape,
      system: new uPlot(plotOptions(systemSeries, width), systemData,
                        device.element.querySelector('.system-plot')),
      modules: new uPlot(plotOptions(moduleSeries, width), moduleData,
                         device.element.querySelector('.module-plot')),
    };
    return;
  }
  device.plots.system.setData(systemData);
  device.plots.modules.setData(moduleData);
}

function render(device) {
  renderHeader(device);
  renderHeadings(device);
  renderSystem(device);
  renderModules(device);
  renderAlarms(device);
  renderPlots(device);
}

// Appends one sample (columns of one value) to the history, keeping its capacity.
function appendSample(history, sample) {
  if (!history || !sample) return;
  if (sample.modules.length !== history.modules.length) {
    history.modules = sample.modules.map((column, i) =>
      history.modules[i] || history.time.map(() => null));
  }
  const columns = [[history.time, sample.time], [history.system_value, sample.system_value],
                   [history.value_95, sample.value_95],
                   ...sample.modules.map((column, i) => [history.modules[i], column]),
                   ...sample.values_a2.map((column, i) => [history.values_a2[i], column])];
  for (const [target, source] of columns) {
    target.push(source[0]);
    if (target.length > history.capacity) target.shift();
  }
}

async function getJson(path) {
  const response = await fetch(path, { cache: 'no-store' });
  if (!response.ok) throw new Error(`${path}: ${response.status}`);
  return response.json();
}

async function load() {
  for (const summary of await getJson('/api/v1/devices')) {
    const device = sectionFor(summary.data_id);
    [device.detail, device.history] = await Promise.all([
      getJson(`/api/v1/devices/${summary.data_id}`),
      getJson(`/api/v1/devices/${summary.data_id}/history`)]);
    render(device);
  }
}

function onPublished(event) {
  const { device: detail, sample } = JSON.parse(event.data);
  const device = sectionFor(detail.data_id);
  // Alarm transitions of this cycle follow as their own events.
  if (device.detail) detail.alarms = device.detail.alarms;
  device.detail = detail;
  appendSample(device.history, sample);
  render(device);
}

function onAlarm(event) {
  const change = JSON.parse(event.data);
  const device = devices.get(change.data_id);
  if (!device || !device.detail) return;
  const same = (alarm) => alarm.code === change.code && alarm.seq === change.seq &&
                          alarm.desc === change.desc;
  const alarms = device.detail.alarms.filter((alarm) => !same(alarm));
  if (change.raised) alarms.push({ ...change, since: change.time });
  device.detail.alarms = alarms;
  renderAlarms(device);
}

function onHealth(event) {
  const change = JSON.parse(event.data);
  const device = devices.get(change.data_id);
  if (!device || !device.detail) return;
  device.detail.health = change.to;
  device.detail.health_reason = change.reason;
  device.detail.health_since = change.time;
  device.detail.stale = change.to !== 'online' && Boolean(device.detail.last_publication);
  renderHeader(device);
}

function connect() {
  const indicator = document.getElementById('connection');
  const events = new EventSource('/api/v1/events');
  let lost = false;
  events.addEventListener('open', () => {
    indicator.textContent = 'live';
    indicator.className = 'connection live';
    // What happened while the stream was down comes from a fresh load.
    if (lost) load().catch((error) => console.error(error));
    lost = false;
  });
  events.addEventListener('error', () => {
    lost = true;
    indicator.textContent = 'reconnecting…';
    indicator.className = 'connection lost';
  });
  events.addEventListener('published', onPublished);
  events.addEventListener('alarm', onAlarm);
  events.addEventListener('health', onHealth);
}

setInterval(() => {
  for (const device of devices.values()) {
    if (device.detail) renderAge(device);
  }
}, 1000);
load().catch((error) => console.error(error));
connect();
